// The package's bridge to the engine: R's doubles to float32 tables, the
// library's calls on worker threads while this thread watches for a user
// interrupt, and the engine's float32 values back into R's vectors. Every
// rule about the arguments' values is the library's (tessora::Error, whose
// message becomes the R error's); the R code checks only their R types.
#include <Rcpp.h>
#include <R_ext/Utils.h>

#include <tessora/tessora.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
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

// RunOptions whose progress function cancels the workers when the user
// interrupts; `interrupted` tells a Cancelled from the interrupt apart.
struct Interruptible {
  bool interrupted = false;
  tessora::RunOptions run;

  explicit Interruptible(unsigned threads) {
    run.threads = threads;
    run.progress = [this](double) {
      if (interrupt_pending()) interrupted = true;
      return !interrupted;
    };
  }
  Interruptible(const Interruptible&) = delete;  // the progress function holds `this`
  Interruptible& operator=(const Interruptible&) = delete;
  // Runs `work(run)`; an interrupt reaches R as one once the engine's frames
  // are gone.
  template <class Work>
  void operator()(Work&& work) {
    if (interrupted || (interrupted = interrupt_pending())) throw Rcpp::internal::InterruptedException();
    try {
      work(run);
    } catch (const tessora::Cancelled&) {
      if (interrupted) throw Rcpp::internal::InterruptedException();
      throw;
    }
  }
};

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

// An R vector of `length` elements of `type`; running out of memory is an
// exception here rather than a jump through this code.
SEXP allocate(SEXPTYPE type, double length, const char* what) {
  if (!(length <= static_cast<double>(R_XLEN_T_MAX)))
    throw std::runtime_error(std::string("the ") + what + " would have " + std::to_string(length) +
                             " entries, more than an R vector can hold");
  const auto n = static_cast<R_xlen_t>(length);
  SEXP vector = Rcpp::unwindProtect([&] { return Rf_allocVector(type, n); });
  offer_huge_pages(DATAPTR(vector), static_cast<std::size_t>(n) * (type == REALSXP ? 8 : 4));
  return vector;
}

SEXP allocate_matrix(SEXPTYPE type, std::int64_t rows, std::size_t cols, const char* what) {
  Rcpp::RObject matrix(allocate(type, static_cast<double>(rows) * static_cast<double>(cols), what));
  matrix.attr("dim") = Rcpp::Dimension(static_cast<int>(rows), static_cast<int>(cols));
  return matrix;
}

// A whole number that R's code has checked, as the library's integer type
// (saturated, so that a huge one still reaches the library's range rule).
std::int64_t whole(double v) {
  constexpr double limit = 9.2e18;
  if (v >= limit) return std::numeric_limits<std::int64_t>::max();
  if (v <= -limit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

// The table of x (a double matrix), each value rounded to the nearest float,
// in R's column-major order: the library lays it out object by object.
struct Table {
  std::unique_ptr<float[]> data;
  tessora::TableView view;
};

Table table_of(SEXP x, const std::string& objects, double missing) {
  const bool by_rows = tessora::objects_are_rows(objects);
  const std::int64_t rows = Rf_nrows(x), cols = Rf_ncols(x);
  const auto size = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  Table table;
  table.data.reset(new float[std::max<std::size_t>(size, 1)]);  // every element is written below
  const double* in = REAL(x);
  float* out = table.data.get();
  for (std::size_t k = 0; k < size; ++k) out[k] = static_cast<float>(in[k]);
  const tessora::Missing marker = std::isnan(missing) ? tessora::Missing::not_a_number()
                                                      : tessora::Missing::value(static_cast<float>(missing));
  table.view = tessora::TableView::column_major(out, rows, cols, by_rows, marker);
  tessora::check_table(table.view);
  return table;
}

// A coefficient with the options the library allows for it.
tessora::Settings settings_of(int coefficient, bool scale, bool dissimilarity) {
  const tessora::Settings settings{coefficient, scale, dissimilarity};
  tessora::check_settings(settings);
  return settings;
}

// What every call takes: the table, the coefficient and the threads, from
// the list of arguments that R's .arguments() makes.
struct Job {
  Table table;
  tessora::Engine engine;
  Interruptible run;

  explicit Job(const Rcpp::List& a)
      : table(table_of(a["x"], Rcpp::as<std::string>(a["objects"]), Rcpp::as<double>(a["missing"]))),
        engine(table.view, settings_of(Rcpp::as<int>(a["coefficient"]), Rcpp::as<bool>(a["scale"]),
                                       Rcpp::as<bool>(a["dissimilarity"]))),
        run(tessora::thread_count(whole(Rcpp::as<double>(a["threads"])))) {}

  std::int64_t m() const { return engine.objects(); }

  // The condensed pairs in runs of rows of at most the library's band, each
  // handed to `take(row_begin, row_end, values, counts)`; values or counts
  // are null when not asked for.
  template <class Take>
  void condensed(bool values, bool counts, Take&& take) {
    std::vector<float> v;
    std::vector<std::uint32_t> k;
    const std::int64_t bytes = (values ? sizeof(float) : 0) + (counts ? sizeof(std::uint32_t) : 0);
    for (std::int64_t r0 = 0; r0 < m();) {
      const std::int64_t r1 = tessora::condensed_band_end(m(), r0, bytes);
      const auto pairs = static_cast<std::size_t>(tessora::condensed_start(m(), r1) -
                                                  tessora::condensed_start(m(), r0));
      if (values) v.resize(pairs);
      if (counts) k.resize(pairs);
      run([&](const tessora::RunOptions& options) {
        engine.compute_condensed(r0, r1, values ? v.data() : nullptr, counts ? k.data() : nullptr, options);
      });
      take(r0, r1, v.data(), k.data());
      r0 = r1;
    }
  }
};

std::runtime_error out_of_memory(const Rcpp::List& a) {
  SEXP x = a["x"];
  return std::runtime_error("not enough memory for a table of " + std::to_string(Rf_nrows(x)) + " x " +
                            std::to_string(Rf_ncols(x)));
}

// The lower triangle of the column-major m x m matrix a from its upper one,
// tile by tile, so that both sides are read and written in runs.
void mirror_upper(double* a, std::size_t m) {
  constexpr std::size_t tile = 64;
  for (std::size_t j0 = 0; j0 < m; j0 += tile)
    for (std::size_t i0 = j0; i0 < m; i0 += tile)
      for (std::size_t j = j0; j < std::min(m, j0 + tile); ++j)
        for (std::size_t i = std::max(i0, j + 1); i < std::min(m, i0 + tile); ++i) a[i + j * m] = a[j + i * m];
}

}  // namespace

// The registry, one vector per property.
// [[Rcpp::export(.coefficient_table)]]
Rcpp::List coefficient_table() {
  const auto all = tessora::coefficients();
  const auto count = static_cast<R_xlen_t>(all.size());
  Rcpp::IntegerVector number(count);
  Rcpp::CharacterVector name(count), slug(count), kind(count), diagonal(count), ranking(count);
  Rcpp::LogicalVector similarity(count), scalable(count);
  for (R_xlen_t k = 0; k < count; ++k) {
    const tessora::CoefficientInfo& c = all[static_cast<std::size_t>(k)];
    number[k] = c.number;
    name[k] = std::string(c.name);
    slug[k] = std::string(c.slug);
    switch (c.kind) {
      case tessora::Kind::distance: kind[k] = "distance"; break;
      case tessora::Kind::similarity: kind[k] = "similarity"; break;
      case tessora::Kind::covariance: kind[k] = "covariance"; break;
      case tessora::Kind::sum: kind[k] = "sum"; break;
    }
    switch (c.diagonal) {
      case tessora::Diagonal::zero: diagonal[k] = "0"; break;
      case tessora::Diagonal::one: diagonal[k] = "1"; break;
      case tessora::Diagonal::own_sum: diagonal[k] = "own sum"; break;
      case tessora::Diagonal::own_variance: diagonal[k] = "own variance"; break;
    }
    similarity[k] = c.similarity;
    scalable[k] = c.scalable;
    ranking[k] = c.ranking == tessora::Ranking::ascending ? "ascending" : "descending";
  }
  return Rcpp::List::create(Rcpp::Named("number") = number, Rcpp::Named("name") = name,
                            Rcpp::Named("slug") = slug, Rcpp::Named("kind") = kind,
                            Rcpp::Named("diagonal") = diagonal, Rcpp::Named("similarity") = similarity,
                            Rcpp::Named("scalable") = scalable, Rcpp::Named("ranking") = ranking);
}

// The menu number of a coefficient given as text (a slug, a menu name, a
// number) or as a whole number; the library's error for any other.
// [[Rcpp::export(.coefficient_number)]]
int coefficient_number(SEXP method) {
  if (TYPEOF(method) == STRSXP) return tessora::coefficient_number(std::string(CHAR(STRING_ELT(method, 0))));
  return tessora::coefficient_number(whole(Rf_asReal(method)));
}

// [[Rcpp::export(.library_version)]]
std::string library_version() { return TESSORA_VERSION_STRING; }

// what: 0 the dist vector of values, 1 the full matrix, 2 the dist vector of
// shared counts.
// [[Rcpp::export(.resemblance)]]
SEXP resemblance(Rcpp::List a, int what) {
  try {
    Job job(a);
    const auto m = static_cast<std::size_t>(job.m());
    const double pairs = static_cast<double>(tessora::condensed_size(job.m()));
    Rcpp::RObject result(what == 1 ? allocate(REALSXP, static_cast<double>(m) * static_cast<double>(m),
                                              "resemblance matrix")
                                   : allocate(REALSXP, pairs, what == 2 ? "count vector" : "dist vector"));
    double* out = REAL(result);
    if (what == 1) {
      // Row i of the engine's triangle, the pairs (i, j), j < i, is column i
      // above the diagonal.
      tessora::Matrix whole;
      job.run([&](const tessora::RunOptions& options) { whole = job.engine.compute(options); });
      for (std::int64_t i = 0; i < job.m(); ++i) {
        const auto row = whole.lower_row(i);
        double* column = out + static_cast<std::size_t>(i) * m;
        std::copy(row.begin(), row.end(), column);
        column[i] = whole.diagonal()[static_cast<std::size_t>(i)];
      }
      mirror_upper(out, m);
    } else {
      // R's dist order is the condensed order.
      job.condensed(what == 0, what == 2, [&](std::int64_t r0, std::int64_t r1, const float* v,
                                              const std::uint32_t* k) {
        const auto start = static_cast<std::size_t>(tessora::condensed_start(job.m(), r0));
        const auto count = static_cast<std::size_t>(tessora::condensed_start(job.m(), r1)) - start;
        if (what == 0) std::copy(v, v + count, out + start);
        else std::copy(k, k + count, out + start);
      });
    }
    return result;
  } catch (const std::bad_alloc&) {
    throw out_of_memory(a);
  }
}

// Each object's k nearest, nearest first, as R matrices (m, k): 1-based
// indices (NA for none), the values (NaN for none) and, when asked, the
// shared counts.
// [[Rcpp::export(.neighbors)]]
Rcpp::List neighbors(Rcpp::List a, double k, bool include_self, double min_shared, bool shared) {
  try {
    Job job(a);
    const std::int64_t m = job.m();
    tessora::NeighborOptions options;
    options.include_self = include_self;
    options.min_shared = whole(min_shared);
    // A k outside the library's range throws before the buffers are used:
    // they are only as wide as the largest k allowed.
    const std::int64_t kk = whole(k);
    const auto width = static_cast<std::size_t>(std::clamp<std::int64_t>(kk, 1, include_self ? m : m - 1));
    const std::size_t cells = static_cast<std::size_t>(m) * width;
    std::vector<std::int64_t> index(cells);
    std::vector<float> values(cells);
    std::vector<std::uint32_t> counts(shared ? cells : 0);
    job.run([&](const tessora::RunOptions& run) {
      job.engine.neighbors(kk, index.data(), values.data(), shared ? counts.data() : nullptr, options, run);
    });

    // The engine's rows are objects; R's matrices are column-major.
    Rcpp::RObject r_index(allocate_matrix(INTSXP, m, width, "index matrix"));
    Rcpp::RObject r_values(allocate_matrix(REALSXP, m, width, "distance matrix"));
    Rcpp::RObject r_shared(shared ? allocate_matrix(INTSXP, m, width, "count matrix") : R_NilValue);
    int* out_index = INTEGER(r_index);
    double* out_values = REAL(r_values);
    int* out_shared = shared ? INTEGER(r_shared) : nullptr;
    for (std::size_t i = 0; i < static_cast<std::size_t>(m); ++i)
      for (std::size_t t = 0; t < width; ++t) {
        const std::size_t from = i * width + t, to = i + t * static_cast<std::size_t>(m);
        out_index[to] = index[from] < 0 ? NA_INTEGER : static_cast<int>(index[from] + 1);
        out_values[to] = values[from];
        if (shared) out_shared[to] = static_cast<int>(counts[from]);
      }
    Rcpp::List result = Rcpp::List::create(Rcpp::Named("index") = r_index, Rcpp::Named("distance") = r_values);
    if (shared) result["shared"] = r_shared;
    return result;
  } catch (const std::bad_alloc&) {
    throw out_of_memory(a);
  }
}

// Every pair within the threshold, as the arrays of a symmetric m x m
// dgCMatrix (both triangles, and (i, i) with include_self; a value of 0 is
// an explicit entry) or, with pairs = TRUE, as 1-based pairs i < j (i = j
// for self) with their values and shared counts.
// [[Rcpp::export(.within)]]
Rcpp::List within(Rcpp::List a, double threshold, bool include_self, double min_shared, double max_pairs,
                  bool pairs) {
  try {
    Job job(a);
    tessora::WithinOptions options;
    options.include_self = include_self;
    options.min_shared = whole(min_shared);
    options.max_pairs = whole(max_pairs);
    tessora::PairList list;
    job.run([&](const tessora::RunOptions& run) {
      list = job.engine.within(static_cast<float>(threshold), options, pairs, run);
    });
    const std::size_t count = list.i.size();

    if (pairs) {
      const auto n = static_cast<double>(count);
      Rcpp::RObject i(allocate(INTSXP, n, "pair list")), j(allocate(INTSXP, n, "pair list"));
      Rcpp::RObject value(allocate(REALSXP, n, "pair list")), shared(allocate(INTSXP, n, "pair list"));
      for (std::size_t q = 0; q < count; ++q) {
        INTEGER(i)[q] = static_cast<int>(list.i[q] + 1);
        INTEGER(j)[q] = static_cast<int>(list.j[q] + 1);
        REAL(value)[q] = list.values[q];
        INTEGER(shared)[q] = static_cast<int>(list.shared[q]);
      }
      return Rcpp::List::create(Rcpp::Named("i") = i, Rcpp::Named("j") = j, Rcpp::Named("value") = value,
                                Rcpp::Named("shared") = shared);
    }

    // Column c holds the partners of c in ascending order: the pairs (r, c),
    // r < c, come first in the list's order (by i, then j), then (c, c),
    // then (c, j).
    const std::int64_t m = job.m();
    std::vector<std::int64_t> start(static_cast<std::size_t>(m) + 1, 0);
    for (std::size_t p = 0; p < count; ++p) {
      ++start[static_cast<std::size_t>(list.i[p]) + 1];
      if (list.i[p] != list.j[p]) ++start[static_cast<std::size_t>(list.j[p]) + 1];
    }
    for (std::size_t c = 0; c < static_cast<std::size_t>(m); ++c) start[c + 1] += start[c];
    const std::int64_t entries = start.back();
    if (entries > std::numeric_limits<int>::max())
      throw std::runtime_error("the graph would have " + std::to_string(entries) +
                           " entries, more than a dgCMatrix holds; ask for as = \"pairs\"");
    Rcpp::IntegerVector p(m + 1);
    Rcpp::RObject rows(allocate(INTSXP, static_cast<double>(entries), "graph"));
    Rcpp::RObject values(allocate(REALSXP, static_cast<double>(entries), "graph"));
    int* row = INTEGER(rows);
    double* value = REAL(values);
    for (std::size_t c = 0; c <= static_cast<std::size_t>(m); ++c) p[c] = static_cast<int>(start[c]);
    std::vector<std::int64_t> next(start.begin(), start.end() - 1);
    for (std::size_t q = 0; q < count; ++q) {
      const std::int64_t a = list.i[q], b = list.j[q];
      const auto put = [&](std::int64_t column, std::int64_t r) {
        const std::int64_t at = next[static_cast<std::size_t>(column)]++;
        row[at] = static_cast<int>(r);
        value[at] = list.values[q];
      };
      put(b, a);
      if (a != b) put(a, b);
    }
    return Rcpp::List::create(Rcpp::Named("p") = p, Rcpp::Named("i") = rows, Rcpp::Named("x") = values);
  } catch (const std::bad_alloc&) {
    throw out_of_memory(a);
  }
}
