# The R interface: argument checks, labels and the dist object; the
# computation itself is in src/tessora.cpp.

coefficients <- function() {
  as.data.frame(.coefficient_table(), stringsAsFactors = FALSE)
}

resemblance <- function(x, method, objects = "rows", missing = NA, scale = FALSE,
                        dissimilarity = FALSE, threads = NULL) {
  call <- match.call()
  run <- .prepare(x, method, objects, missing, scale, dissimilarity, threads, call)
  values <- .run(run, 0L, call)
  .as_dist(values, run, .coefficient_table()$slug[run$coefficient], call)
}

resemblance_matrix <- function(x, method, objects = "rows", missing = NA, scale = FALSE,
                               dissimilarity = FALSE, threads = NULL) {
  call <- match.call()
  run <- .prepare(x, method, objects, missing, scale, dissimilarity, threads, call)
  values <- .run(run, 1L, call)
  dim(values) <- c(run$size, run$size)
  if (!is.null(run$labels)) dimnames(values) <- list(run$labels, run$labels)
  values
}

shared_counts <- function(x, objects = "rows", missing = NA) {
  call <- match.call()
  run <- .prepare(x, 1L, objects, missing, FALSE, FALSE, NULL, call)
  .as_dist(.run(run, 2L, call), run, "shared counts", call)
}

.as_dist <- function(values, run, method, call) {
  attr(values, "Size") <- run$size
  if (!is.null(run$labels)) attr(values, "Labels") <- run$labels
  attr(values, "Diag") <- FALSE
  attr(values, "Upper") <- FALSE
  attr(values, "method") <- method
  attr(values, "call") <- call
  class(values) <- "dist"
  values
}

.fail <- function(call, ...) stop(simpleError(paste0(...), call))

# The engine's errors (and running out of memory) as errors of the user's call.
.run <- function(run, what, call) {
  tryCatch(
    .compute(run$x, run$by_rows, run$coefficient, run$scale, run$dissimilarity,
             run$nan_missing, run$marker, run$threads, what),
    error = function(e) .fail(call, conditionMessage(e)))
}

.prepare <- function(x, method, objects, missing, scale, dissimilarity, threads, call) {
  if (!is.character(objects) || length(objects) != 1L || !(objects %in% c("rows", "columns")))
    .fail(call, "objects must be \"rows\" or \"columns\"")
  by_rows <- objects == "rows"
  x <- .numeric_matrix(x, call)
  size <- if (by_rows) nrow(x) else ncol(x)
  if (size < 2L)
    .fail(call, "x has ", size, if (by_rows) " row" else " column", if (size != 1L) "s",
          ": a resemblance matrix needs at least 2 objects (", objects, ")")
  labels <- if (by_rows) rownames(x) else colnames(x)

  if (length(missing) != 1L || !(is.numeric(missing) || (is.logical(missing) && is.na(missing))))
    .fail(call, "missing must be NA (NA and NaN are missing) or one number that marks a missing value")
  nan_missing <- is.na(missing)
  marker <- if (nan_missing) NaN else as.double(missing)

  if (!is.logical(scale) || length(scale) != 1L || is.na(scale))
    .fail(call, "scale must be TRUE or FALSE")
  if (!is.logical(dissimilarity) || length(dissimilarity) != 1L || is.na(dissimilarity))
    .fail(call, "dissimilarity must be TRUE or FALSE")
  if (is.null(threads)) {
    threads <- 0L
  } else if (!is.numeric(threads) || length(threads) != 1L || is.na(threads) || threads < 1 ||
             threads != round(threads) || threads > 1024) {
    .fail(call, "threads must be NULL (one per core) or a whole number from 1 to 1024")
  }

  list(x = x, by_rows = by_rows, size = size, labels = labels,
       coefficient = .method_number(method, call), scale = scale, dissimilarity = dissimilarity,
       nan_missing = nan_missing, marker = marker, threads = as.integer(threads))
}

# x as a matrix of doubles, or an error naming what is not a number.
.numeric_matrix <- function(x, call) {
  if (is.data.frame(x)) {
    bad <- !vapply(x, function(column) is.numeric(column) && !is.object(column), logical(1))
    if (any(bad))
      .fail(call, "x has columns that are not numbers: ",
            paste0(names(x)[bad], " (", vapply(x[bad], function(column) class(column)[1L], ""), ")",
                   collapse = ", "))
    x <- as.matrix(x)
  } else if (!is.matrix(x) || !is.numeric(x)) {
    .fail(call, "x must be a numeric matrix or a data frame of numbers, not ",
          if (is.matrix(x)) paste("a", typeof(x), "matrix") else paste("an object of class", class(x)[1L]))
  }
  if (storage.mode(x) != "double") storage.mode(x) <- "double"
  x
}

.method_number <- function(method, call) {
  slugs <- .coefficient_table()$slug
  known <- paste0("a number 1-34, a menu name or one of: ", paste(slugs, collapse = ", "))
  if (missing(method) || length(method) != 1L || is.na(method))
    .fail(call, "method must be one coefficient: ", known)
  number <- if (is.numeric(method)) {
    if (method >= 1 && method <= 34 && method == round(method)) as.integer(method) else NA_integer_
  } else if (is.character(method)) {
    .coefficient_number(method)
  } else {
    NA_integer_
  }
  if (is.na(number)) .fail(call, "unknown method '", format(method), "': use ", known)
  number
}
