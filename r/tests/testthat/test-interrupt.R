# A user interrupt (SIGINT, as Ctrl+C sends) stops a long computation and
# reaches R as an interrupt condition. The computation runs in a second R
# process that this test interrupts.

test_that("an interrupt ends a large computation early", {
  skip_on_os("windows")
  dir <- tempfile("interrupt")
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE))
  ready <- file.path(dir, "ready")
  pid_file <- file.path(dir, "pid")
  outcome <- file.path(dir, "outcome")
  script <- file.path(dir, "child.R")
  writeLines(c(
    "library(tessora)",
    sprintf("writeLines(as.character(Sys.getpid()), %s)", deparse(pid_file)),
    "x <- matrix(runif(5000 * 2000), 5000)",
    sprintf("file.create(%s)", deparse(ready)),
    "t0 <- proc.time()[['elapsed']]",
    "r <- tryCatch({ resemblance(x, 'bray-curtis', threads = 1); 'finished' },",
    "              interrupt = function(e) 'interrupted')",
    "cut <- proc.time()[['elapsed']] - t0",
    "# A sixteenth of the pairs (a quarter of the objects), uninterrupted.",
    "part <- system.time(resemblance(x[1:1250, ], 'bray-curtis', threads = 1))[['elapsed']]",
    "full <- 16 * part",
    sprintf("writeLines(c(r, cut, full), %s)", deparse(paste0(outcome, ".part"))),
    sprintf("file.rename(%s, %s)", deparse(paste0(outcome, ".part")), deparse(outcome))
  ), script)
  libs <- paste(.libPaths(), collapse = .Platform$path.sep)
  system2(file.path(R.home("bin"), "Rscript"), c("--vanilla", shQuote(script)),
          env = paste0("R_LIBS=", shQuote(libs)), wait = FALSE, stdout = FALSE, stderr = FALSE)

  wait_for <- function(path, seconds) {
    for (i in seq_len(seconds * 50)) if (file.exists(path)) return(TRUE) else Sys.sleep(0.02)
    FALSE
  }
  expect_true(wait_for(ready, 60))
  Sys.sleep(0.3)  # into the computation, which takes seconds on one thread
  tools::pskill(as.integer(readLines(pid_file)), tools::SIGINT)
  expect_true(wait_for(outcome, 120))
  result <- readLines(outcome)
  expect_identical(result[1], "interrupted")
  # Stopped well before the end (the interrupt came 0.3 s in).
  expect_lt(as.numeric(result[2]), as.numeric(result[3]) / 2)
})
