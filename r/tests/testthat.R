library(testthat)
library(tessora)

test_check("tessora")
