# Writes src/Makevars: the engine compiled into the package from its own
# sources, in tools/tessora (links to the repository's engine/, include/ and
# CMakeLists.txt in a checkout; copies of them in the tarball R CMD build
# makes). The list of sources is the CMake target's (add_library and
# target_sources of tessora_engine in engine/), and the compile options that
# the exact arithmetic rests on are the project's (its add_compile_options),
# so that the package has no list of its own to keep.
#
#   Rscript tools/configure.R          (run by ./configure)
#   Rscript tools/configure.R --print  (the sources and options, one a line)

tree <- file.path("tools", "tessora")

fail <- function(...) {
  message("configure: error: ", ...)
  quit(save = "no", status = 1)
}

if (!file.exists(file.path(tree, "engine", "CMakeLists.txt")))
  fail("the engine's sources are not in ", tree, ". Install from a checkout of TESSORA ",
       "(R CMD INSTALL r) or from the tarball that R CMD build r makes there.")

# The arguments of every call of `command` in a CMake file (whose first
# argument is `target`, when given), as a list of character vectors, comments
# removed.
cmake_calls <- function(file, command, target = NULL) {
  text <- paste(sub("#.*$", "", readLines(file, warn = FALSE)), collapse = "\n")
  pattern <- sprintf("(?i)\\b%s\\s*\\(([^()]*)\\)", command)
  calls <- regmatches(text, gregexpr(pattern, text, perl = TRUE))[[1]]
  args <- lapply(sub(pattern, "\\1", calls, perl = TRUE),
                 function(a) strsplit(trimws(a), "\\s+")[[1]])
  Filter(function(a) length(a) > 0L && (is.null(target) || a[1L] == target), args)
}

# Plain file names only: a variable or generator expression would need CMake.
plain_files <- function(tokens, file) {
  bad <- tokens[!grepl("^[A-Za-z0-9_][A-Za-z0-9_./+-]*$", tokens)]
  if (length(bad))
    fail("cannot read the engine's sources from ", file, ": '", bad[1L], "' is not a file name")
  paths <- file.path(dirname(file), tokens)
  if (!all(file.exists(paths))) fail(file, " names '", tokens[!file.exists(paths)][1L], "', which is not there")
  paths
}

engine_sources <- function() {
  lists <- list.files(file.path(tree, "engine"), pattern = "^CMakeLists[.]txt$", recursive = TRUE,
                      full.names = TRUE)
  sources <- character()
  for (file in lists) {
    for (a in cmake_calls(file, "add_library", "tessora_engine")) {
      if (length(a) < 2L || a[2L] != "STATIC") fail(file, ": tessora_engine is not a STATIC library")
      sources <- c(sources, plain_files(a[-(1:2)], file))
    }
    for (a in cmake_calls(file, "target_sources", "tessora_engine"))
      sources <- c(sources, plain_files(a[!a %in% c("tessora_engine", "PRIVATE", "PUBLIC", "INTERFACE")], file))
  }
  sources <- sources[grepl("[.](cpp|cc|cxx)$", sources)]
  if (!length(sources)) fail("no sources of tessora_engine found in ", tree, "/engine")
  sub(paste0("^", tree, "/"), "", sources)
}

top <- file.path(tree, "CMakeLists.txt")
top_text <- paste(readLines(top, warn = FALSE), collapse = "\n")

# The code generation options (-f...) of the project's add_compile_options
# call that asks for exact arithmetic (-ffp-contract=off), leaving out the
# warnings and the options of other calls (sanitizer builds).
compile_flags <- function() {
  calls <- Filter(function(a) "-ffp-contract=off" %in% a, cmake_calls(top, "add_compile_options"))
  if (length(calls) != 1L) fail(top, " has no single add_compile_options(-ffp-contract=off ...)")
  options <- calls[[1L]]
  flags <- options[startsWith(options, "-f")]
  if (any(grepl("^-f(fast-math|unsafe-math|associative-math|reciprocal-math)", flags)))
    fail(top, " asks for inexact arithmetic: ", paste(flags, collapse = " "))
  flags
}

version <- regmatches(top_text, regexec("project\\(tessora\\s+VERSION\\s+([0-9]+)[.]([0-9]+)[.]([0-9]+)",
                                        top_text))[[1]]
if (length(version) != 4L) fail("no project(tessora VERSION x.y.z) in ", top)

sources <- engine_sources()
flags <- compile_flags()

if ("--print" %in% commandArgs(TRUE)) {
  writeLines(c(paste("source", sources), paste("flag", flags)))
  quit(save = "no")
}

r_config <- function(name) {
  system2(file.path(R.home("bin"), "R"), c("CMD", "config", name), stdout = TRUE)
}

# Does the compiler take the flags, and are Highway's headers there?
probe <- function(code, extra = character()) {
  dir <- tempfile("probe")
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE))
  src <- file.path(dir, "probe.cpp")
  writeLines(code, src)
  cxx <- paste(r_config("CXX20"), r_config("CXX20STD"))
  command <- paste(cxx, r_config("CPPFLAGS"), paste(extra, collapse = " "), "-c", shQuote(src),
                   "-o", shQuote(file.path(dir, "probe.o")), ">/dev/null 2>&1")
  system(command) == 0L
}
if (!probe("int main() { return 0; }"))
  fail("the C++ compiler (R CMD config CXX20) cannot compile C++20")
if (!probe("int main() { return 0; }", flags))
  fail("the C++ compiler does not take ", paste(flags, collapse = " "),
       ", which the engine's exact arithmetic needs; use GCC or Clang")

hwy_cflags <- ""
hwy_libs <- "-lhwy"
pkg_config <- Sys.getenv("PKG_CONFIG", "pkg-config")
if (nzchar(Sys.which(pkg_config)) && system2(pkg_config, c("--exists", "libhwy")) == 0L) {
  hwy_cflags <- paste(system2(pkg_config, c("--cflags", "libhwy"), stdout = TRUE), collapse = " ")
  hwy_libs <- paste(system2(pkg_config, c("--libs", "libhwy"), stdout = TRUE), collapse = " ")
}
if (!probe("#include <hwy/highway.h>\nint main() { return 0; }", hwy_cflags))
  fail("Highway's headers (hwy/highway.h) were not found: install libhwy-dev")

# include/tessora/version.hpp, as CMake's configure_file writes it.
header <- readLines(file.path(tree, "include", "tessora", "version.hpp.in"))
values <- c(PROJECT_VERSION_MAJOR = version[2L], PROJECT_VERSION_MINOR = version[3L],
            PROJECT_VERSION_PATCH = version[4L], PROJECT_VERSION = paste(version[-1L], collapse = "."))
for (key in names(values)) header <- gsub(paste0("@", key, "@"), values[[key]], header, fixed = TRUE)
dir.create(file.path("src", "generated", "tessora"), recursive = TRUE, showWarnings = FALSE)
writeLines(header, file.path("src", "generated", "tessora", "version.hpp"))

# One rule per engine source: its object goes under src/, never beside the
# source (which is the repository's own file in a checkout).
objects <- sub("[.][a-z]+$", ".o", sources)
for (d in unique(dirname(objects))) dir.create(file.path("src", d), recursive = TRUE, showWarnings = FALSE)
rules <- sprintf("%s: ../%s/%s\n\t$(CXX) $(ALL_CPPFLAGS) $(ALL_CXXFLAGS) -c ../%s/%s -o %s",
                 objects, tree, sources, tree, sources, objects)

makevars <- readLines(file.path("src", "Makevars.in"))
fill <- c(ENGINE_CPPFLAGS = paste(sprintf("-I../%s/include -I../%s", tree, tree), "-Igenerated", hwy_cflags),
          ENGINE_FLAGS = paste(flags, collapse = " "),
          ENGINE_LIBS = hwy_libs,
          ENGINE_OBJECTS = paste(objects, collapse = " "),
          ENGINE_RULES = paste(rules, collapse = "\n\n"))
for (key in names(fill)) makevars <- gsub(paste0("@", key, "@"), fill[[key]], makevars, fixed = TRUE)
writeLines(makevars, file.path("src", "Makevars"))
message(sprintf("configure: TESSORA %s from %s: %d sources, compiled with %s", values[["PROJECT_VERSION"]], tree,
                length(sources), paste(flags, collapse = " ")))
