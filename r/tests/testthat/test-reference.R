# Every coefficient and option on random tables with missing values: the
# package's values are the engine's float32 bits, as the reference loop
# computes them.

reference <- read_reference()

test_that("the fixture covers every coefficient, scaling and D = 1 - S", {
  numbers <- vapply(reference$results, `[[`, 0L, "number")
  expect_setequal(numbers, 1:34)
  expect_equal(sum(vapply(reference$results, `[[`, TRUE, "scale")), 3 * length(reference$tables))
})

for (r in reference$results) {
  label <- sprintf("table %d, coefficient %d%s%s", r$table, r$number,
                   if (r$scale) ", scaled" else "", if (r$dissimilarity) ", 1 - S" else "")
  test_that(paste("resemblance_matrix gives the engine's bits:", label), {
    x <- reference$tables[[as.character(r$table)]]$x
    full <- resemblance_matrix(x, r$number, scale = r$scale, dissimilarity = r$dissimilarity)
    expect_identical(float_bits(lower_by_rows(full)), r$bits)
    expect_identical(float_bits(full), float_bits(t(full)))
    # Held exactly: the doubles are floats.
    expect_identical(bits_to_double(float_bits(full)), as.vector(full))

    # The same table with the objects as columns; the -1 marker rule.
    by_columns <- resemblance_matrix(t(x), r$number, objects = "columns", scale = r$scale,
                                     dissimilarity = r$dissimilarity, threads = 1)
    expect_identical(float_bits(by_columns), float_bits(full))
    marked <- x
    marked[is.na(marked)] <- -1
    with_marker <- resemblance_matrix(marked, r$number, missing = -1, scale = r$scale,
                                      dissimilarity = r$dissimilarity)
    expect_identical(float_bits(with_marker), float_bits(full))

    # The dist holds the off-diagonal entries in R's order.
    d <- resemblance(x, r$number, scale = r$scale, dissimilarity = r$dissimilarity)
    expect_identical(float_bits(d), float_bits(full[lower.tri(full)]))
  })
}

test_that("shared_counts gives the variables known in both objects", {
  for (table in reference$tables) {
    expected <- matrix(0, table$m, table$m)
    expected[upper.tri(expected, diag = TRUE)] <- table$counts
    expected <- t(expected)  # filled row by row into the lower triangle
    k <- shared_counts(table$x)
    expect_identical(as.vector(k), expected[lower.tri(expected)])
    expect_identical(as.vector(shared_counts(t(table$x), objects = "columns")), as.vector(k))
  }
})

test_that("pairs with no variable in common keep the formula's value over empty sums", {
  # Table 3: object 1 and 2 share no variable, object 3 has none known.
  x <- reference$tables[["3"]]$x
  k <- as.matrix(shared_counts(x))
  expect_equal(k[1, 2], 0)
  expect_true(all(k[3, -3] == 0))
  expect_identical(resemblance_matrix(x, "euclidean")[1, 2], 0)
  expect_true(is.nan(resemblance_matrix(x, "bray-curtis")[1, 2]))
})
