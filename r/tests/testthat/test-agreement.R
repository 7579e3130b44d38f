# On complete data the coefficients whose formula is vegan's or stats' give
# their values to float precision.

set.seed(7)
with_zeros <- matrix(round(runif(40 * 15) * 20, 1), 40)
with_zeros[sample(length(with_zeros), 120)] <- 0
no_zeros <- matrix(runif(40 * 15) * 20 + 0.5, 40)

agreements <- list(
  # vegdist index, our coefficient, D = 1 - S, data
  list("manhattan", "manhattan", FALSE, with_zeros),
  list("manhattan", "faith", FALSE, with_zeros),
  list("euclidean", "euclidean", FALSE, with_zeros),
  list("bray", "bray-curtis", FALSE, with_zeros),
  list("bray", "bray-curtis-similarity", TRUE, with_zeros),
  list("bray", "kulczynski", TRUE, with_zeros),
  list("jaccard", "marczewski-steinhaus", FALSE, with_zeros),
  list("jaccard", "ruzicka", TRUE, with_zeros),
  list("gower", "gower", FALSE, with_zeros),
  list("chord", "chord", FALSE, with_zeros),
  list("hellinger", "hellinger", FALSE, with_zeros),
  # vegan leaves out the variables that are 0 in both objects for these two
  list("altGower", "mean-character-difference", FALSE, no_zeros),
  list("clark", "divergence", FALSE, no_zeros)
)

for (a in agreements) {
  test_that(sprintf("vegdist '%s' is %s%s", a[[1]], a[[2]], if (a[[3]]) " as 1 - S" else ""), {
    skip_if_not_installed("vegan")
    ours <- resemblance(a[[4]], a[[2]], dissimilarity = a[[3]])
    expect_equal(as.vector(ours), as.vector(vegan::vegdist(a[[4]], a[[1]])), tolerance = 1e-6)
  })
}

test_that("stats::dist agrees for euclidean, manhattan and (without zeros) canberra", {
  for (method in c("euclidean", "manhattan")) {
    expect_equal(as.vector(resemblance(with_zeros, method)), as.vector(dist(with_zeros, method)),
                 tolerance = 1e-6)
  }
  expect_equal(as.vector(resemblance(no_zeros, "canberra")), as.vector(dist(no_zeros, "canberra")),
               tolerance = 1e-6)
})

test_that("vegan and hclust take the dist", {
  skip_if_not_installed("vegan")
  d <- resemblance(with_zeros, "bray-curtis")
  expect_s3_class(hclust(d, "average"), "hclust")
  expect_equal(dim(cmdscale(d, k = 2)), c(40L, 2L))
  expect_s3_class(vegan::betadisper(d, gl(2, 20)), "betadisper")
})
