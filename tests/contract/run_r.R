# Runs every case of cases.tsv through the R package and checks that R's
# error message contains the library's text. From the repository's root,
# with the package installed where R finds it:
#   Rscript tests/contract/run_r.R
suppressPackageStartupMessages(library(tessora))

here <- "tests/contract"
cases <- read.delim(file.path(here, "cases.tsv"), comment.char = "#", quote = "", colClasses = "character")
plots <- read.csv("examples/plots.csv", row.names = 1)
tables <- list(plots = plots, one = plots[1, , drop = FALSE], none = plots[, 0])

# "key=value,key=value" as R arguments: true/false as logicals, numbers as
# numbers, anything else as text.
options_of <- function(text) {
  if (text == "-") return(list())
  pairs <- strsplit(strsplit(text, ",", fixed = TRUE)[[1]], "=", fixed = TRUE)
  values <- lapply(pairs, function(p) {
    if (p[2] %in% c("true", "false")) p[2] == "true"
    else if (!is.na(suppressWarnings(as.numeric(p[2])))) as.numeric(p[2])
    else p[2]
  })
  setNames(values, vapply(pairs, `[`, "", 1L))
}

# The calls of a case: the coefficient as text, and as a number too when it
# is one.
calls_of <- function(case) {
  action <- strsplit(case$action, ":", fixed = TRUE)[[1]]
  methods <- list(case$coefficient)
  if (grepl("^[0-9]+$", case$coefficient)) methods <- c(methods, list(as.numeric(case$coefficient)))
  lapply(methods, function(method) {
    args <- c(list(tables[[case$table]], method), options_of(case$options))
    switch(action[1],
           matrix = as.call(c(quote(resemblance), args)),
           neighbors = as.call(c(quote(neighbors), args[1:2], list(k = as.numeric(action[2])), args[-(1:2)])),
           radius = as.call(c(quote(radius_graph), args[1:2], list(threshold = as.numeric(action[2])),
                              args[-(1:2)])),
           stop("unknown action ", case$action))
  })
}

failures <- 0L
for (r in seq_len(nrow(cases))) {
  case <- cases[r, ]
  for (call in calls_of(case)) {
    message <- tryCatch({
      eval(call)
      NULL
    }, error = conditionMessage)
    method <- if (is.numeric(call[[3]])) "as a number" else "as text"
    if (is.null(message)) {
      cat(sprintf("FAIL %s (%s): no error; expected: %s\n", case$name, method, case$message))
      failures <- failures + 1L
    } else if (!grepl(case$message, message, fixed = TRUE)) {
      cat(sprintf("FAIL %s (%s):\n  got:      %s\n  expected: %s\n", case$name, method, message, case$message))
      failures <- failures + 1L
    }
  }
}
cat(sprintf("tests/contract/run_r.R: %d cases, %d failures\n", nrow(cases), failures))
quit(save = "no", status = if (failures) 1L else 0L)
