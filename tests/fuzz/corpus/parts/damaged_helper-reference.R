# reference.txt (written by tools/make_fixture.sh from the engine's plain
# reference loop): random tables and their resemblance matrices as float bits.

float_bits <- function(x) {
  # The float32 bits of doubles that hold floats, as 8 hex digits each.
  bytes <- writeBin(as.double(x), raw(), size = 4, endian = "big")
  if (length(bytes) == 0L) return(character())
  apply(matrix(as.character(bytes), nrow = 4), 2, paste, collapse = "")
}

bits_to_double <- function(hex) {
  bytes <- as.raw(strtoi(substring(rep(hex, each = 4), c(1, 3, 5, 7), c(2, 4, 6, 8)), 16L))
  readBin(bytes, "double", n = length(hex), size = 4, endian = "big")
}

read_reference <- function(path = test_path("reference.txt")) {
  lines <- readLines(path)
  lines <- lines[!startsWith(lines, "#")]
  tables <- list()
  results <- list()
  at <- 1L
  while (at <= length(lines)) {
    head <- strsplit(lines[at], " ")[[1]]
    id <- as.integer(head[2])
    m <- tables[[as.character(id)]]$m
    if (head[1] == "table") {
      m <- as.integer(head[3])
      rows <- strsplit(lines[at + seq_len(m)], " ")
      x <- matrix(bits_to_double(unlist(rows)), nrow = m, byrow = TRUE)
      tables[[as.character(id)]] <- list(id = id, m = m, x = x)
    } else {
      # The lower triangle with the diagonal, row by row.
      rows <- strsplit(lines[at + seq_len(m)], " ")
      if (head[1] == "counts") {
        tables[[as.character(id)]]$counts <- as.integer(unlist(rows))
      } else {
        results[[length(results) + 1L]] <- list(
          table = id, number = as.integer(head[3]), scale = head[4] == "1",
          dissimilarity = head[5] == "1", bits = unlist(rows))
      }
    }
    at <- at + 1L + m
  }
  list(tables = tables, results = results)
}

# The lower triangle with the diagonal of a square matrix, row by row.
lower_by_rows <- function(a) t(a)[upper.tri(a, diag = TRUE)]
