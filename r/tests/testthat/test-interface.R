# The dist object, labels, layouts and the argument checks.

x <- matrix(c(1, 2, NA, 4, 5,
              6, 7, 8, 9, 1,
              0, 1, 2, NaN, 3), nrow = 5, dimnames = list(paste0("plot", 1:5), c("a", "b", "c")))

test_that("resemblance returns a dist with the attributes hclust and vegan read", {
  d <- resemblance(x, "bray-curtis")
  expect_s3_class(d, "dist")
  expect_identical(attr(d, "Size"), 5L)
  expect_identical(attr(d, "Labels"), rownames(x))
  expect_false(attr(d, "Diag"))
  expect_false(attr(d, "Upper"))
  expect_identical(attr(d, "method"), "bray-curtis")
  expect_identical(attr(d, "call"), quote(resemblance(x = x, method = "bray-curtis")))
  expect_length(d, 10L)
  expect_identical(as.matrix(d)[2:5, 1], resemblance_matrix(x, 8)[2:5, 1])
})

test_that("the method may be a slug, a menu name, a number or its text", {
  for (method in list("bray-curtis", "BRAYCUR DIS", "braycur_dis", 8, 8L, "8"))
    expect_identical(attr(resemblance(x, method), "method"), "bray-curtis")
})

test_that("objects = 'columns' compares the columns and labels them", {
  d <- resemblance(x, "euclidean", objects = "columns")
  expect_identical(attr(d, "Labels"), colnames(x))
  expect_identical(as.vector(d), as.vector(resemblance(t(x), "euclidean")))
  expect_identical(dimnames(resemblance_matrix(x, 1, objects = "columns")), list(colnames(x), colnames(x)))
})

test_that("a data frame of numbers is a table; without row names there are no labels", {
  df <- data.frame(a = c(1L, 2L, 3L), b = c(0.5, NA, 2))
  expect_identical(as.vector(resemblance(df, 2)), as.vector(resemblance(as.matrix(df), 2)))
  expect_null(attr(resemblance(unname(x), 2), "Labels"))
  rownames(df) <- c("p", "q", "r")
  expect_identical(attr(shared_counts(df), "Labels"), c("p", "q", "r"))
})

test_that("the diagonal is the coefficient's own", {
  expect_identical(unname(diag(resemblance_matrix(x, "correlation"))), rep(1, 5))
  expect_identical(unname(diag(resemblance_matrix(x, "correlation", dissimilarity = TRUE))), rep(0, 5))
  # Kendall's diagonal: the sum of the object's known values.
  expect_equal(unname(diag(resemblance_matrix(x, "kendall"))), unname(rowSums(x, na.rm = TRUE)))
})

test_that("missing = NA makes NA and NaN missing; missing = -1 keeps NaN a value", {
  k <- as.matrix(shared_counts(x))
  expect_identical(unname(k[1, 2]), 3)
  expect_identical(unname(k[1, 3]), 2)  # plot1 (1, 6, 0) and plot3 (NA, 8, 2)
  expect_identical(unname(k[4, 5]), 2)  # plot4 (4, 9, NaN), plot5 (5, 1, 3)
  marked <- x
  marked[1, 1] <- -1
  expect_identical(unname(as.matrix(shared_counts(marked, missing = -1))[1, 2]), 2)
  expect_identical(unname(as.matrix(shared_counts(marked, missing = -1))[3, 4]), 3)
})

test_that("the number of threads changes no bit", {
  set.seed(3)
  y <- matrix(runif(300 * 40), 300)
  y[sample(length(y), 1000)] <- NA
  d <- resemblance(y, "gower", threads = 1)
  expect_identical(float_bits(d), float_bits(resemblance(y, "gower", threads = 2)))
  # Enough objects for several tiles of the triangle's reordering.
  full <- resemblance_matrix(y, "gower")
  expect_identical(float_bits(d), float_bits(full[lower.tri(full)]))
  k <- shared_counts(y)
  expect_identical(as.vector(k), as.vector(as.dist(crossprod(!is.na(t(y))))))
})

test_that("coefficient_table() is the library's registry", {
  co <- coefficient_table()
  expect_identical(names(co), c("number", "name", "slug", "kind", "diagonal", "similarity", "scalable",
                                "ranking"))
  expect_identical(co$number, seq_len(nrow(co)))
  expect_identical(co$slug[c(1, 8, 24)], c("euclidean", "bray-curtis", "correlation"))
  expect_identical(which(co$similarity), c(4L, 5L, 7L, 19L, 21L, 24:34))
  expect_identical(which(co$scalable), c(1L, 2L, 13L))
  expect_identical(co$kind[c(1, 12, 23, 24)], c("distance", "sum", "covariance", "similarity"))
  expect_identical(co$diagonal[c(1, 4, 12, 23)], c("0", "1", "own sum", "own variance"))
  expect_identical(co$ranking == "ascending", co$kind == "distance")
  # Every slug and menu name is a method.
  for (i in co$number) {
    expect_identical(attr(resemblance(x, co$slug[i]), "method"), co$slug[i])
    expect_identical(attr(resemblance(x, co$name[i]), "method"), co$slug[i])
  }
})

test_that("no function of base R is masked", {
  expect_identical(intersect(getNamespaceExports("tessora"),
                             unlist(lapply(c("base", "stats", "utils", "graphics", "methods"), getNamespaceExports))),
                   character())
  expect_identical(coefficients(lm(dist ~ speed, cars)), coef(lm(dist ~ speed, cars)))
})

test_that("the package's version is the library's", {
  expect_identical(tessora:::.library_version(), as.character(packageVersion("tessora")))
})

test_that("shared_counts takes threads", {
  expect_identical(as.vector(shared_counts(x, threads = 1)), as.vector(shared_counts(x, threads = 2)))
})

# R's own type checks name the argument; every rule about a value is the
# library's, with its message.
errors <- list(
  list(quote(resemblance(data.frame(a = 1:3, b = c("x", "y", "z")), 1)), "columns that are not numbers: b (character)"),
  list(quote(resemblance(data.frame(a = 1:3, f = factor(1:3)), 1)), "not numbers: f (factor)"),
  list(quote(resemblance(matrix(letters[1:6], 3), 1)), "numeric matrix or a data frame of numbers, not a character matrix"),
  list(quote(resemblance(list(1, 2), 1)), "not an object of class list"),
  list(quote(resemblance(x)), "method must be one coefficient"),
  list(quote(resemblance(x, c(1, 2))), "method must be one coefficient"),
  list(quote(resemblance(x, TRUE)), "method must be one coefficient"),
  list(quote(resemblance(x, "no-such")), "unknown coefficient 'no-such': give a number from 1 to 34, a menu name or one of the slugs euclidean,"),
  list(quote(resemblance(x, 35)), "unknown coefficient '35'"),
  list(quote(resemblance(x, 2.5)), "unknown coefficient '2.5'"),
  list(quote(resemblance(x, Inf)), "unknown coefficient 'Inf'"),
  list(quote(resemblance(x[1, , drop = FALSE], 1)), "the table has 1 object: at least 2 are needed"),
  list(quote(resemblance(x[, 1, drop = FALSE], 1, objects = "columns")), "the table has 1 object: at least 2 are needed"),
  list(quote(resemblance(x[, 0], 1)), "the table has no variables"),
  list(quote(resemblance(x, 1, objects = "cols")), "objects must be 'rows' or 'columns', not 'cols'"),
  list(quote(resemblance(x, 1, objects = 1)), "objects must be \"rows\" or \"columns\""),
  list(quote(resemblance(x, 1, missing = "NA")), "missing must be NA"),
  list(quote(resemblance(x, 1, threads = 5000)), "threads must be from 0 (one per core) to 4096, not 5000"),
  list(quote(resemblance(x, 1, threads = -1)), "threads must be from 0 (one per core) to 4096, not -1"),
  list(quote(resemblance(x, 1, threads = 1.5)), "threads must be one whole number"),
  list(quote(resemblance(x, 1, scale = NA)), "scale must be TRUE or FALSE"),
  list(quote(resemblance(x, "bray-curtis", scale = TRUE)), "scale (by n / k) is only for the coefficients 1, 2, 13, not 8 bray-curtis"),
  list(quote(resemblance(x, "euclidean", dissimilarity = TRUE)),
       "dissimilarity (D = 1 - S) is only for the similarities 4, 5, 7, 19, 21, 24-34, not 1 euclidean"),
  list(quote(shared_counts(x, threads = 5000)), "threads must be from 0 (one per core) to 4096, not 5000"),
  list(quote(resemblance(matrix(0, 3e6, 1), 1)), "cannot allocate|would have .* entries|not enough memory", FALSE)
)

for (e in errors) {
  test_that(paste("error:", deparse(e[[1]], width.cutoff = 200L)), {
    expect_error(eval(e[[1]]), e[[2]], fixed = length(e) < 3L || e[[3]])
    # The error is the user's call's, not the glue's.
    expect_identical(conditionCall(tryCatch(eval(e[[1]]), error = identity))[[1]], e[[1]][[1]])
  })
}
