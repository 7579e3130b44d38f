# The R package against vegan's vegdist and stats' dist on 4000 objects x
# 1000 variables with 10% of the values missing, one run each; then the
# nearest neighbours and the radius graph against the dist of the same
# pairs, in the same run:
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
  cat(sprintf("%-40s tessora %6.2f s   %-36s %7.2f s   %5.2fx\n",
              what, ours, names(theirs), theirs, theirs / ours))
}
cat(sprintf("%d x %d, 10%% missing, %d cores\n", m, n, parallel::detectCores()))
bray <- seconds(resemblance(x, "bray-curtis"))
vegan_bray <- seconds(vegdist(x, "bray", na.rm = TRUE))
report("Bray-Curtis", bray, c(`vegdist(x, "bray", na.rm = TRUE)` = vegan_bray))
euclid <- seconds(resemblance(x, "euclidean"))
stats_euclid <- seconds(dist(x))
report("Euclidean", euclid, c(`dist(x)` = stats_euclid))

# The same pairs kept as a graph instead of the whole dist (ratio < 1: the
# graph costs more than the dist).
report("neighbors(x, \"bray-curtis\", 15)", seconds(neighbors(x, "bray-curtis", 15)),
       c(`resemblance(x, "bray-curtis")` = bray))
report("radius_graph(x, \"bray-curtis\", 0.47)", seconds(radius_graph(x, "bray-curtis", 0.47)),
       c(`resemblance(x, "bray-curtis")` = bray))
