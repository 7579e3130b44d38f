# The R interface: R's types are checked here; every rule about the values
# (coefficients, options, thread counts, table sizes, k, thresholds) is the
# library's, whose errors come back as errors of the user's call. The
# computation is in src/tessora.cpp.

coefficient_table <- function() {
  as.data.frame(.coefficient_table(), stringsAsFactors = FALSE)
}

resemblance <- function(x, method, objects = "rows", missing = NA, scale = FALSE,
                        dissimilarity = FALSE, threads = NULL) {
  call <- match.call()
  a <- .arguments(x, method, objects, missing, scale, dissimilarity, threads, call)
  .as_dist(.run(call, .resemblance, a, 0L), a, coefficient_table()$slug[a$coefficient], call)
}

resemblance_matrix <- function(x, method, objects = "rows", missing = NA, scale = FALSE,
                               dissimilarity = FALSE, threads = NULL) {
  call <- match.call()
  a <- .arguments(x, method, objects, missing, scale, dissimilarity, threads, call)
  values <- .run(call, .resemblance, a, 1L)
  dim(values) <- c(a$size, a$size)
  if (!is.null(a$labels)) dimnames(values) <- list(a$labels, a$labels)
  values
}

shared_counts <- function(x, objects = "rows", missing = NA, threads = NULL) {
  call <- match.call()
  a <- .arguments(x, 1L, objects, missing, FALSE, FALSE, threads, call)
  .as_dist(.run(call, .resemblance, a, 2L), a, "shared counts", call)
}

neighbors <- function(x, method, k, objects = "rows", missing = NA, scale = FALSE,
                      dissimilarity = FALSE, include_self = FALSE, min_shared = 1,
                      shared = FALSE, threads = NULL) {
  call <- match.call()
  a <- .arguments(x, method, objects, missing, scale, dissimilarity, threads, call)
  if (missing(k)) .fail(call, "k must be one whole number")
  .whole(k, "k", call)
  .flag(include_self, "include_self", call)
  .whole(min_shared, "min_shared", call)
  .flag(shared, "shared", call)
  result <- .run(call, .neighbors, a, as.double(k), include_self, as.double(min_shared), shared)
  for (part in names(result)) rownames(result[[part]]) <- a$labels
  result
}

radius_graph <- function(x, method, threshold, objects = "rows", missing = NA, scale = FALSE,
                         dissimilarity = FALSE, include_self = FALSE, min_shared = 1,
                         max_pairs = 1e8, as = c("sparse", "pairs"), threads = NULL) {
  call <- match.call()
  as <- match.arg(as)
  a <- .arguments(x, method, objects, missing, scale, dissimilarity, threads, call)
  if (missing(threshold) || !is.numeric(threshold) || length(threshold) != 1L)
    .fail(call, "threshold must be one number")
  .flag(include_self, "include_self", call)
  .whole(min_shared, "min_shared", call)
  .whole(max_pairs, "max_pairs", call)
  if (as == "sparse" && !requireNamespace("Matrix", quietly = TRUE))
    .fail(call, "radius_graph(as = \"sparse\") needs the Matrix package; as = \"pairs\" does not")
  g <- .run(call, .within, a, as.double(threshold), include_self, as.double(min_shared),
            as.double(max_pairs), as == "pairs")
  if (as == "pairs")
    return(data.frame(from = g$i, to = g$j, value = g$value, shared = g$shared))
  methods::new("dgCMatrix", i = g$i, p = g$p, x = g$x, Dim = c(a$size, a$size),
               Dimnames = list(a$labels, a$labels))
}

.as_dist <- function(values, a, method, call) {
  attr(values, "Size") <- a$size
  if (!is.null(a$labels)) attr(values, "Labels") <- a$labels
  attr(values, "Diag") <- FALSE
  attr(values, "Upper") <- FALSE
  attr(values, "method") <- method
  attr(values, "call") <- call
  class(values) <- "dist"
  values
}

.fail <- function(call, ...) stop(simpleError(paste0(...), call))

# f(a, ...), with the library's errors (and running out of memory) as
# errors of the user's call.
.run <- function(call, f, a, ...) {
  tryCatch(f(a, ...), error = function(e) .fail(call, conditionMessage(e)))
}

.flag <- function(value, name, call) {
  if (!is.logical(value) || length(value) != 1L || is.na(value))
    .fail(call, name, " must be TRUE or FALSE")
}

.whole <- function(value, name, call) {
  if (!is.numeric(value) || length(value) != 1L || !is.finite(value) || value != round(value))
    .fail(call, name, " must be one whole number")
}

# The arguments every computation takes, in the types the glue expects (a
# list that src/tessora.cpp reads by name).
.arguments <- function(x, method, objects, missing, scale, dissimilarity, threads, call) {
  x <- .numeric_matrix(x, call)
  if (!is.character(objects) || length(objects) != 1L || is.na(objects))
    .fail(call, "objects must be \"rows\" or \"columns\"")
  if (length(missing) != 1L || !(is.numeric(missing) || (is.logical(missing) && is.na(missing))))
    .fail(call, "missing must be NA (NA and NaN are missing) or one number that marks a missing value")
  .flag(scale, "scale", call)
  .flag(dissimilarity, "dissimilarity", call)
  if (is.null(threads)) threads <- 0
  else .whole(threads, "threads", call)
  list(x = x, objects = objects, missing = if (is.na(missing)) NaN else as.double(missing),
       coefficient = .coefficient(method, call), scale = scale, dissimilarity = dissimilarity,
       threads = as.double(threads), size = if (objects == "columns") ncol(x) else nrow(x),
       labels = if (objects == "columns") colnames(x) else rownames(x))
}

# The menu number of a slug, menu name or number (the library's lookup).
.coefficient <- function(method, call) {
  if (missing(method) || length(method) != 1L || is.na(method) || !(is.character(method) || is.numeric(method)))
    .fail(call, "method must be one coefficient: its slug, menu name or number (see coefficient_table())")
  if (is.numeric(method) && (!is.finite(method) || method != round(method)))
    method <- format(method)  # the library names it as the unknown coefficient it is
  tryCatch(.coefficient_number(method), error = function(e) .fail(call, conditionMessage(e)))
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
