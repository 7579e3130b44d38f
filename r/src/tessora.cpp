// The package's bridge to the engine: R's doubles to float32 objects, the
// computation on worker threads while this thread watches for a user
// interrupt, and the engine's float32 values back into R's doubles.
#include <Rcpp.h>
#include <R_ext/Utils.h>

#include <tessora/tessora.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// A pending interrupt, taken without a long jump through this code: the check
// runs at R's top level, which catches the jump and reports it as FALSE.
void check_interrupt(void*) { R_CheckUserInterrupt(); }
bool interrupt_pending() { return R_ToplevelExec(check_interrupt, nullptr) == FALSE; }

// Runs `work` (which takes RunOptions) with an interrupt check every time the
// engine reports progress. A user interrupt cancels the workers and reaches R
// as an interrupt once the engine's frames are gone.
template <class Work>
void run_interruptibly(unsigned threads, Work&& work) {
  bool interrupted = false;
  tessora::RunOptions run;
  run.threads = threads;
  run.progress = [&](double) {
    if (interrupt_pending()) {
      interrupted = true;
      return false;  // stops the workers
    }
    return true;
  };
  try {
    work(run);
  } catch (const tessora::Cancelled&) {
    if (interrupted) throw Rcpp::internal::InterruptedException();
    throw;
  }
}

// Asks for huge pages for the untouched memory of a large result: its first
// writes otherwise fault in 4 KB pages, which costs as much as the whole
// computation on some virtual machines. Advice only.
void offer_huge_pages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
  if (bytes < 4 * huge) return;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(huge - 1);
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

// An R vector of `length` doubles; running out of memory is an exception
// here rather than a jump through this code.
SEXP allocate_doubles(double length, const char* what) {
  if (!(length <= static_cast<double>(R_XLEN_T_MAX)))
    throw std::runtime_error(std::string("the ") + what + " would have " + std::to_string(length) +
                             " entries, more than an R vector can hold");
  const auto n = static_cast<R_xlen_t>(length);
  SEXP vector = Rcpp::unwindProtect([&] { return Rf_allocVector(REALSXP, n); });
  offer_huge_pages(REAL(vector), static_cast<std::size_t>(n) * sizeof(double));
  return vector;
}

// The objects of x (R's column-major doubles) one after the other, each
// double rounded to the nearest float. NaNs become the one quiet NaN when
// they mark missing values, so that the engine takes the buffer as it is.
struct Floats {
  std::unique_ptr<float[]> data;
  std::size_t size = 0;
};

Floats objects_of(const double* x, std::int64_t rows, std::int64_t cols, bool by_rows, bool nan_missing) {
  const std::int64_t m = by_rows ? rows : cols, n = by_rows ? cols : rows;
  Floats table;
  table.size = static_cast<std::size_t>(m) * static_cast<std::size_t>(n);
  table.data.reset(new float[table.size]);  // every element is written below
  offer_huge_pages(table.data.get(), table.size * sizeof(float));
  float* out = table.data.get();
  auto convert = [nan_missing](double v) {
    if (nan_missing && std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(v);
  };
  if (!by_rows) {
    for (std::size_t k = 0; k < table.size; ++k) out[k] = convert(x[k]);
    return table;
  }
  // A tiled transpose: object i's variable v is x[i + v * rows].
  constexpr std::int64_t tile = 64;
  for (std::int64_t i0 = 0; i0 < m; i0 += tile)
    for (std::int64_t v0 = 0; v0 < n; v0 += tile) {
      const std::int64_t i1 = std::min(m, i0 + tile), v1 = std::min(n, v0 + tile);
      for (std::int64_t v = v0; v < v1; ++v)
        for (std::int64_t i = i0; i < i1; ++i) out[i * n + v] = convert(x[i + v * rows]);
    }
  return table;
}

// Index in R's dist vector of the pair (i, j), i > j: the lower triangle
// column by column.
inline std::size_t dist_index(std::size_t m, std::size_t i, std::size_t j) {
  return j * (2 * m - j - 1) / 2 + (i - j - 1);
}

}  // namespace

// [[Rcpp::export(.coefficient_table)]]
Rcpp::List coefficient_table() {
  const auto all = tessora::coefficients();
  Rcpp::IntegerVector number(all.size());
  Rcpp::CharacterVector name(all.size()), slug(all.size());
  Rcpp::LogicalVector similarity(all.size());
  for (std::size_t k = 0; k < all.size(); ++k) {
    number[k] = all[k].number;
    name[k] = std::string(all[k].name);
    slug[k] = std::string(all[k].slug);
    similarity[k] = all[k].similarity;
  }
  return Rcpp::List::create(Rcpp::Named("number") = number, Rcpp::Named("name") = name,
                            Rcpp::Named("slug") = slug, Rcpp::Named("similarity") = similarity);
}

// The menu number of a slug, menu name or number as text; NA when it is none.
// [[Rcpp::export(.coefficient_number)]]
int coefficient_number(std::string text) {
  try {
    return tessora::coefficient_number(text);
  } catch (const tessora::Error&) {
    return NA_INTEGER;
  }
}

// what: 0 the dist vector of values, 1 the full matrix, 2 the dist vector of
// shared counts.
// [[Rcpp::export(.compute)]]
SEXP compute(SEXP x, bool by_rows, int coefficient, bool scale, bool dissimilarity, bool nan_missing,
             double marker, int threads, int what) {
  if (TYPEOF(x) != REALSXP || !Rf_isMatrix(x)) throw std::runtime_error("x must be a double matrix");
  const std::int64_t rows = Rf_nrows(x), cols = Rf_ncols(x);
  const std::int64_t m = by_rows ? rows : cols, n = by_rows ? cols : rows;
  const auto um = static_cast<std::size_t>(m);
  try {
    const double pairs = static_cast<double>(m) * static_cast<double>(m - 1) / 2;
    Rcpp::RObject result(what == 1 ? allocate_doubles(static_cast<double>(m) * static_cast<double>(m),
                                              "resemblance matrix")
                                   : allocate_doubles(pairs, what == 2 ? "count vector" : "dist vector"));
    double* out = REAL(result);

    const Floats table = objects_of(REAL(x), rows, cols, by_rows, nan_missing);
    const tessora::Missing missing =
        nan_missing ? tessora::Missing::not_a_number() : tessora::Missing::value(static_cast<float>(marker));
    const auto view = tessora::TableView::row_major(table.data.get(), m, n, true, missing);
    const tessora::Engine engine(view, {coefficient, scale, dissimilarity});
    const auto nthreads = static_cast<unsigned>(threads);

    if (what == 2) {
      // Counts only, a band of rows at a time against the objects before them.
      const std::size_t band = std::max<std::size_t>(1, (std::size_t{1} << 22) / std::max<std::size_t>(um, 1));
      std::vector<std::uint32_t> counts;
      for (std::size_t r0 = 1; r0 < um; r0 += band) {
        if (interrupt_pending()) throw Rcpp::internal::InterruptedException();  // between bands too
        const std::size_t r1 = std::min(um, r0 + band);
        counts.assign((r1 - r0) * r1, 0);
        const tessora::Block block{std::int64_t(r0), std::int64_t(r1), 0, std::int64_t(r1)};
        run_interruptibly(nthreads, [&](const tessora::RunOptions& run) {
          engine.compute_block(block, nullptr, 0, counts.data(), std::int64_t(r1), run);
        });
        for (std::size_t i = r0; i < r1; ++i)
          for (std::size_t j = 0; j < i; ++j) out[dist_index(um, i, j)] = counts[(i - r0) * r1 + j];
      }
      return result;
    }

    tessora::Matrix res;
    run_interruptibly(nthreads, [&](const tessora::RunOptions& run) { res = engine.compute(run); });
    const float* tri = res.triangle().data();
    if (what == 0) {
      // The engine's triangle is row by row, R's dist column by column: a
      // tiled transpose, so that both sides are read and written in runs.
      constexpr std::size_t tile = 64;
      for (std::size_t j0 = 0; j0 + 1 < um; j0 += tile)
        for (std::size_t i0 = j0 + 1; i0 < um; i0 += tile) {
          const std::size_t j1 = std::min(um, j0 + tile), i1 = std::min(um, i0 + tile);
          for (std::size_t i = i0; i < i1; ++i) {
            const float* row = tri + i * (i - 1) / 2;
            for (std::size_t j = j0; j < std::min(j1, i); ++j) out[dist_index(um, i, j)] = row[j];
          }
        }
    } else {
      // Both triangles (the matrix is symmetric, so row- and column-major
      // are the same), tile by tile.
      const float* diag = res.diagonal().data();
      for (std::size_t i = 0; i < um; ++i) out[i * um + i] = diag[i];
      constexpr std::size_t tile = 64;
      for (std::size_t i0 = 1; i0 < um; i0 += tile)
        for (std::size_t j0 = 0; j0 < i0 + tile - 1 && j0 < um; j0 += tile) {
          const std::size_t i1 = std::min(um, i0 + tile), j1 = std::min(um, j0 + tile);
          for (std::size_t i = i0; i < i1; ++i) {
            const float* row = tri + i * (i - 1) / 2;
            for (std::size_t j = j0; j < std::min(j1, i); ++j) out[i * um + j] = out[j * um + i] = row[j];
          }
        }
    }
    return result;
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("not enough memory for " + std::to_string(m) + " objects x " + std::to_string(n) +
                             " variables");
  }
}
