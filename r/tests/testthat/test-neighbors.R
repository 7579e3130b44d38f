# Neighbours and radius graphs against the whole matrix: an object's
# neighbours are its row of resemblance_matrix() sorted by the coefficient's
# ranking order, then by index, leaving out NaN and the pairs that share too
# few variables; the radius graph is the matrix filtered by the threshold.

float32 <- function(v) readBin(writeBin(as.double(v), raw(), size = 4), "double", n = length(v), size = 4)

# Small integers for ties, NA for gaps, Inf for values no formula likes; row 3
# shares no variable with row 4, row 6 repeats row 5 (distance 0).
make_table <- function(seed, m = 11, n = 6) {
  set.seed(seed)
  x <- matrix(sample(0:3, m * n, replace = TRUE), m, n)
  x[sample(length(x), round(0.15 * length(x)))] <- NA
  x[3, 1:3] <- NA
  x[4, 4:n] <- NA
  x[4, 1:3] <- c(1, 2, 0)
  x[6, ] <- x[5, ]
  if (seed %% 2 == 0) x[2, 2] <- Inf
  x
}
tables <- lapply(1:3, make_table)

# The rows of the whole matrix, each object's shared counts with its own
# known values on the diagonal.
whole <- function(x, method, dissimilarity) {
  counts <- as.matrix(shared_counts(x))
  diag(counts) <- rowSums(!is.na(x))
  list(values = unname(resemblance_matrix(x, method, dissimilarity = dissimilarity)), counts = unname(counts))
}

expected_neighbors <- function(w, k, ascending, include_self, min_shared) {
  m <- nrow(w$values)
  index <- matrix(NA_integer_, m, k)
  distance <- matrix(NaN, m, k)
  shared <- matrix(0L, m, k)
  for (i in seq_len(m)) {
    j <- if (include_self) seq_len(m) else seq_len(m)[-i]
    v <- w$values[i, j]
    n <- w$counts[i, j]
    keep <- !is.nan(v) & n >= min_shared
    j <- j[keep]
    v <- v[keep]
    n <- n[keep]
    nearest <- head(order(if (ascending) v + 0 else -v, j), k)  # + 0: -0 equals 0
    t <- seq_along(nearest)
    index[i, t] <- j[nearest]
    distance[i, t] <- v[nearest]
    shared[i, t] <- as.integer(n[nearest])
  }
  list(index = index, distance = distance, shared = shared)
}

# The pairs i <= j (i = j with include_self) within the threshold.
expected_pairs <- function(w, threshold, ascending, include_self, min_shared) {
  t <- float32(threshold)
  ok <- (if (ascending) w$values <= t else w$values >= t) & !is.nan(w$values) & w$counts >= min_shared
  ok[lower.tri(ok, diag = !include_self)] <- FALSE
  at <- which(ok, arr.ind = TRUE)
  at <- at[order(at[, 1], at[, 2]), , drop = FALSE]
  data.frame(from = as.integer(at[, 1]), to = as.integer(at[, 2]), value = w$values[at],
             shared = as.integer(w$counts[at]))
}

variants <- function() {
  co <- coefficient_table()
  v <- rbind(data.frame(number = co$number, dissimilarity = FALSE, ascending = co$ranking == "ascending"),
             data.frame(number = co$number[co$similarity], dissimilarity = TRUE, ascending = TRUE))
  split(v, seq_len(nrow(v)))
}

# Runs check(x, variant, whole matrix) for every table and variant; each
# check returns the labels of the cases that differ.
differences <- function(check) {
  unlist(lapply(tables, function(x) lapply(variants(), function(v) {
    check(x, v, whole(x, v$number, v$dissimilarity))
  })))
}

same_floats <- function(a, b) identical(float_bits(a), float_bits(b))

test_that("neighbours are the sorted rows of the whole matrix, for every coefficient", {
  expect_identical(differences(function(x, v, w) {
    bad <- character()
    for (include_self in c(FALSE, TRUE)) for (min_shared in c(0, 1, 4)) for (k in c(1, 3, 10)) {
      got <- neighbors(x, v$number, k, dissimilarity = v$dissimilarity, include_self = include_self,
                       min_shared = min_shared, shared = TRUE, threads = 1)
      want <- expected_neighbors(w, k, v$ascending, include_self, min_shared)
      found <- !is.na(want$index)
      if (!identical(got$index, want$index) || !identical(got$shared, want$shared) ||
          !same_floats(got$distance[found], want$distance[found]) || !all(is.nan(got$distance[!found])))
        bad <- c(bad, sprintf("coefficient %d%s, self %s, min_shared %d, k %d", v$number,
                              if (v$dissimilarity) " (1 - S)" else "", include_self, min_shared, k))
    }
    bad
  }), character())
})

# The graph's arrays from the pairs: both triangles, by column, then row.
as_columns <- function(pairs, m) {
  both <- unique(rbind(pairs, transform(pairs, from = to, to = from)))
  both <- both[order(both$to, both$from), ]
  list(i = both$from - 1L, p = c(0L, cumsum(tabulate(both$to, m))), x = both$value)
}

test_that("the radius graph is the filtered matrix, for every coefficient", {
  expect_identical(differences(function(x, v, w) {
    bad <- character()
    finite <- sort(unique(w$values[is.finite(w$values)]))
    # Thresholds that are values of the matrix: pairs at the threshold count.
    for (threshold in c(finite[c(1, length(finite) %/% 2, length(finite))], -Inf, Inf))
      for (include_self in c(FALSE, TRUE)) for (min_shared in c(0, 2)) {
        want <- expected_pairs(w, threshold, v$ascending, include_self, min_shared)
        got <- radius_graph(x, v$number, threshold, dissimilarity = v$dissimilarity, include_self = include_self,
                            min_shared = min_shared, as = "pairs", threads = 1)
        ok <- identical(got[c("from", "to", "shared")], want[c("from", "to", "shared")]) &&
          same_floats(got$value, want$value)
        if (ok && min_shared == 0) {
          g <- radius_graph(x, v$number, threshold, dissimilarity = v$dissimilarity, include_self = include_self,
                            min_shared = min_shared, threads = 1)
          columns <- as_columns(want, nrow(x))
          ok <- is(g, "dgCMatrix") && isTRUE(methods::validObject(g, test = TRUE)) &&
            identical(g@i, columns$i) && identical(g@p, columns$p) && same_floats(g@x, columns$x)
        }
        if (!ok)
          bad <- c(bad, sprintf("coefficient %d%s, threshold %g, self %s, min_shared %d", v$number,
                                if (v$dissimilarity) " (1 - S)" else "", threshold, include_self, min_shared))
      }
    bad
  }), character())
})

test_that("a pair at distance 0 is an explicit entry of the graph", {
  x <- tables[[1]]  # rows 5 and 6 are one and the same
  pairs <- radius_graph(x, "euclidean", 0, as = "pairs")
  expect_true(any(pairs$from == 5L & pairs$to == 6L))
  g <- radius_graph(x, "euclidean", 0)
  expect_identical(length(g@x), 2L * nrow(pairs))
  expect_true(all(g@x == 0))
})

test_that("labels: the rows' names on both results, the columns' with objects = 'columns'", {
  x <- tables[[1]]
  dimnames(x) <- list(paste0("plot", seq_len(nrow(x))), paste0("sp", seq_len(ncol(x))))
  nb <- neighbors(x, "bray-curtis", 2, shared = TRUE)
  for (part in nb) expect_identical(rownames(part), rownames(x))
  expect_identical(dimnames(radius_graph(x, "bray-curtis", 0.5)), list(rownames(x), rownames(x)))
  by_columns <- neighbors(t(x), "bray-curtis", 2, objects = "columns")
  expect_identical(by_columns, nb[c("index", "distance")])
  expect_identical(rownames(neighbors(x, "euclidean", 2, objects = "columns")$index), colnames(x))
  expect_null(rownames(neighbors(unname(x), "euclidean", 2)$index))
  expect_identical(names(neighbors(x, "euclidean", 2)), c("index", "distance"))
})

test_that("the threads change no bit and no index", {
  set.seed(11)
  y <- matrix(round(runif(300 * 20) * 5), 300)
  y[sample(length(y), 600)] <- NA
  one <- neighbors(y, "gower", 15, threads = 1)
  expect_identical(neighbors(y, "gower", 15, threads = 2), one)
  expect_identical(neighbors(y, "gower", 15, threads = 7), one)
  expect_identical(radius_graph(y, "gower", 0.2, threads = 1), radius_graph(y, "gower", 0.2, threads = 2))
})

plots <- tables[[1]]
errors <- list(
  list(quote(neighbors(plots, "euclidean", 0)), "k must be from 1 to 10 (the other objects), not 0"),
  list(quote(neighbors(plots, "euclidean", 11)), "k must be from 1 to 10 (the other objects), not 11"),
  list(quote(neighbors(plots, "euclidean", 12, include_self = TRUE)),
       "k must be from 1 to 11 (the objects, self included), not 12"),
  list(quote(neighbors(plots, "euclidean", 1e30)), "k must be from 1 to 10 (the other objects), not"),
  list(quote(neighbors(plots, "euclidean", 2, min_shared = 7)), "min_shared must be from 0 to 6 (the variables), not 7"),
  list(quote(neighbors(plots, "euclidean", 2, min_shared = -1)), "min_shared must be from 0 to 6 (the variables), not -1"),
  list(quote(neighbors(plots, "euclidean", 2.5)), "k must be one whole number"),
  list(quote(neighbors(plots, "euclidean")), "k must be one whole number"),
  list(quote(neighbors(plots, "euclidean", 2, include_self = NA)), "include_self must be TRUE or FALSE"),
  list(quote(neighbors(plots, "bray-curtis", 2, scale = TRUE)), "scale (by n / k) is only for the coefficients 1, 2, 13"),
  list(quote(neighbors(plots, "euclidean", 2, threads = 5000)), "threads must be from 0 (one per core) to 4096"),
  list(quote(radius_graph(plots, "euclidean", NaN)), "the threshold must be a number, not NaN"),
  list(quote(radius_graph(plots, "euclidean", NA)), "threshold must be one number"),
  list(quote(radius_graph(plots, "euclidean", "1")), "threshold must be one number"),
  list(quote(radius_graph(plots, "euclidean", Inf, max_pairs = 3)), "more than 3 pairs lie within the threshold"),
  list(quote(radius_graph(plots, "euclidean", 1, max_pairs = -1)), "max_pairs must be 0 or more, not -1"),
  list(quote(radius_graph(plots, "euclidean", 1, min_shared = 9)), "min_shared must be from 0 to 6 (the variables), not 9"),
  list(quote(radius_graph(plots, "euclidean", 1, as = "list")), "'arg' should be one of")
)

for (e in errors) {
  test_that(paste("error:", deparse(e[[1]], width.cutoff = 200L)), {
    expect_error(eval(e[[1]]), e[[2]], fixed = TRUE)
  })
}

test_that("a coefficient whose every value is NaN has no neighbours and no pairs", {
  x <- matrix(c(0, 0, 0, 0, 0, 0), 3)  # Bray-Curtis of zeros: 0 / 0
  nb <- neighbors(x, "bray-curtis", 2)
  expect_true(all(is.na(nb$index)))
  expect_true(all(is.nan(nb$distance)))
  expect_identical(nrow(radius_graph(x, "bray-curtis", Inf, as = "pairs")), 0L)
})
