# The R package against vegan's vegdist and stats' dist on 4000 objects x
# 1000 variables with 10% of the values missing, one run each:
#   Rscript bench/r_bench.R            (tessora and vegan installed)
suppressPackageStartupMessages({
  library(tessora)
  library(vegan)
})
set.seed(1)
m <- 4000
n <- 1000
x <- matrix(round(rexp(m * n, 0.1), 1), m, n)
x[sample(length(x), length(x) %/% 10)] <- NA

seconds <- function(expr) system.time(expr)[["elapsed"]]
report <- function(what, ours, theirs) {
  cat(sprintf("%-40s tessora %6.2f s   %-30s %7.2f s   %5.0fx\n",
              what, ours, names(theirs), theirs, theirs / ours))
}
cat(sprintf("%d x %d, 10%% missing, %d cores\n", m, n, parallel::detectCores()))
bray <- seconds(resemblance(x, "bray-curtis"))
vegan_bray <- seconds(vegdist(x, "bray", na.rm = TRUE))
report("Bray-Curtis", bray, c(`vegdist(x, "bray", na.rm = TRUE)` = vegan_bray))
euclid <- seconds(resemblance(x, "euclidean"))
stats_euclid <- seconds(dist(x))
report("Euclidean", euclid, c(`dist(x)` = stats_euclid))
