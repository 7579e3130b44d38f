// The library's computations: views checked and settled, whole matrices,
// blocks, counts and the comparability check, all over the one kernel.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "engine/coefficients.hpp"
#include "engine/engine_impl.hpp"
#include "engine/engine_storage.hpp"
#include "engine/kernel/kernel.hpp"
#include "engine/matrices.hpp"
#include "engine/pair_steps.hpp"
#include "engine/pairs.hpp"
#include "tessora/checks.hpp"
#include "tessora/engine.hpp"
#include "tessora/error.hpp"

namespace tessora {

namespace detail {
void check_options(const Settings& settings);  // engine/api_checks.cpp
}  // namespace detail

namespace {

using engine::kernel::detail::Output;
using engine::kernel::detail::Region;

constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

std::string text(std::int64_t v) { return std::to_string(v); }

void check_count(const char* what, std::int64_t value) {
  if (value < 0) throw Error(std::string(what) + " must be 0 or more, not " + text(value));
  if (value > kMaxCount)
    throw Error(std::string(what) + " " + text(value) + " is more than the " + text(kMaxCount) +
                " the library can take");
}

// |stride| * (count - 1), or Error when it does not fit in 64 bits.
std::uint64_t span_of(const char* what, std::int64_t stride, std::int64_t count) {
  if (count <= 1) return 0;
  const std::uint64_t s = stride < 0 ? 0 - static_cast<std::uint64_t>(stride) : static_cast<std::uint64_t>(stride);
  std::uint64_t r = 0;
  if (__builtin_mul_overflow(s, static_cast<std::uint64_t>(count - 1), &r) ||
      r > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 4))
    throw Error(std::string(what) + " " + text(stride) + " times " + text(count - 1) +
                " overflows the address range");
  return r;
}

void check_view(const TableView& t) {
  check_count("the number of objects", t.objects);
  check_count("the number of variables", t.variables);
  const std::uint64_t a = span_of("the object stride", t.object_stride, t.objects);
  const std::uint64_t b = span_of("the variable stride", t.variable_stride, t.variables);
  std::uint64_t total = 0;
  if (__builtin_add_overflow(a, b, &total) ||
      total > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 4))
    throw Error("the strides together overflow the address range");
  if (t.data == nullptr && t.objects > 0 && t.variables > 0)
    throw Error("the table's data pointer is null but it has " + text(t.objects) + " x " + text(t.variables) +
                " values");
}

std::uint32_t missing_bits(const Missing& missing) {
  return missing.nan ? engine::kNaNBits : std::bit_cast<std::uint32_t>(missing.marker);
}

// Whether a value that is missing has other bits than the one pattern the
// kernel compares with (a NaN with a payload, -0 against a marker of 0).
bool odd_missing(float x, const Missing& missing, std::uint32_t bits) {
  if (std::bit_cast<std::uint32_t>(x) == bits) return false;
  return missing.nan ? std::isnan(x) : x == missing.marker;
}

// The table laid out object by object with one missing pattern: the caller's
// memory when it already is, otherwise a copy.
engine::Table settle(const TableView& t, engine::Floats& copy) {
  const std::uint32_t bits = missing_bits(t.missing);
  const auto m = static_cast<std::size_t>(t.objects);
  const auto n = static_cast<std::size_t>(t.variables);
  if (m == 0 || n == 0) return {nullptr, n, m, bits};
  const bool object_major = (t.variable_stride == 1 || n == 1) &&
                            (t.object_stride == t.variables || m == 1);
  const bool may_be_odd = t.missing.nan || t.missing.marker == 0.0f;
  bool in_place = object_major;
  if (in_place && may_be_odd) {
    const std::size_t count = m * n;
    for (std::size_t k = 0; k < count && in_place; ++k)
      if (odd_missing(t.data[k], t.missing, bits)) in_place = false;
  }
  if (in_place) return {t.data, n, m, bits};

  if (n > copy.max_size() / m) throw std::bad_alloc();
  copy.resize(m * n);
  const float bits_value = std::bit_cast<float>(bits);
  for (std::size_t i = 0; i < m; ++i) {
    const float* src = t.data + static_cast<std::int64_t>(i) * t.object_stride;
    float* dst = copy.data() + i * n;
    for (std::size_t v = 0; v < n; ++v) {
      const float x = src[static_cast<std::int64_t>(v) * t.variable_stride];
      dst[v] = odd_missing(x, t.missing, bits) ? bits_value : x;
    }
  }
  return {copy.data(), n, m, bits};
}

using detail::complement;
using detail::control_of;

}  // namespace

// ---------------------------------------------------------------------------

Matrix::Matrix() : storage_(std::make_unique<Storage>()) {}
Matrix::Matrix(std::unique_ptr<Storage> storage) : storage_(std::move(storage)) {}
Matrix::Matrix(Matrix&&) noexcept = default;
Matrix& Matrix::operator=(Matrix&&) noexcept = default;
Matrix::~Matrix() = default;

std::int64_t Matrix::size() const { return storage_->res.size(); }
float Matrix::operator()(std::int64_t i, std::int64_t j) const {
  return storage_->res.at(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
}
std::span<const float> Matrix::triangle() const {
  return {storage_->res.triangle().data(), storage_->res.triangle().size()};
}
std::span<const float> Matrix::lower_row(std::int64_t i) const {
  const auto row = static_cast<std::size_t>(i);
  return {storage_->res.lower_row(row), row};
}
std::span<const float> Matrix::diagonal() const {
  return {storage_->res.diagonal().data(), storage_->res.diagonal().size()};
}
void Matrix::to_dissimilarity() {
  for (float& s : storage_->res.triangle()) s = complement(s);
  for (float& s : storage_->res.diagonal()) s = complement(s);
}

// ---------------------------------------------------------------------------

namespace {

void check_arguments(const TableView& table, const Settings& settings) {
  check_view(table);
  detail::check_options(settings);
}

}  // namespace

Matrix reference_matrix(const TableView& table, const Settings& settings) {
  check_arguments(table, settings);
  engine::Floats copy;
  const engine::Table t = settle(table, copy);
  auto storage = std::make_unique<Matrix::Storage>();
  storage->res = engine::compute_reference(t, settings.coefficient, settings.scale ? 1 : 0,
                                           static_cast<std::int32_t>(t.n));
  Matrix result(std::move(storage));
  if (settings.dissimilarity) result.to_dissimilarity();
  return result;
}

Engine::Engine(const TableView& table, const Settings& settings) : impl_(std::make_unique<Impl>()) {
  check_arguments(table, settings);
  impl_->settings = settings;
  const engine::Table t = settle(table, impl_->copy);
  const std::int32_t scaling = settings.scale ? 1 : 0;
  impl_->prepared = engine::kernel::prepare(t, settings.coefficient, scaling, static_cast<std::int32_t>(t.n));
  impl_->diagonal.resize(t.m);
  for (std::size_t i = 0; i < t.m; ++i)
    impl_->diagonal[i] = engine::diagonal_entry(t, i, impl_->prepared.row->diagonal);
}

Engine::Engine(Engine&&) noexcept = default;
Engine& Engine::operator=(Engine&&) noexcept = default;
Engine::~Engine() = default;

std::int64_t Engine::objects() const { return static_cast<std::int64_t>(impl_->prepared.table.m); }
std::int64_t Engine::variables() const { return static_cast<std::int64_t>(impl_->prepared.table.n); }
const Settings& Engine::settings() const { return impl_->settings; }

float Engine::diagonal(std::int64_t i) const {
  if (i < 0 || i >= objects())
    throw Error("object " + text(i) + " is outside the table's objects 0 to " + text(objects() - 1));
  const float d = impl_->diagonal[static_cast<std::size_t>(i)];
  return impl_->settings.dissimilarity ? complement(d) : d;
}

Matrix Engine::compute(const RunOptions& run) const {
  const std::size_t m = impl_->prepared.table.m;
  auto storage = std::make_unique<Matrix::Storage>();
  storage->res = engine::ResemblanceMatrix(static_cast<std::int32_t>(m));
  if (m >= 2) {
    const Region all{0, m, 0, m};
    Output out;
    out.triangle = storage->res.triangle().data();
    if (!engine::kernel::run_pairs(impl_->prepared, std::span(&all, 1), out, control_of(run)))
      throw Cancelled();
  }
  for (std::size_t i = 0; i < m; ++i) storage->res.set_diagonal(i, impl_->diagonal[i]);
  Matrix result(std::move(storage));
  if (impl_->settings.dissimilarity) result.to_dissimilarity();
  return result;
}

void Engine::compute_block(const Block& b, float* values, std::int64_t value_stride, std::uint32_t* counts,
                           std::int64_t count_stride, const RunOptions& run) const {
  const std::int64_t m = objects();
  auto check_range = [&](const char* what, std::int64_t begin, std::int64_t end) {
    if (begin < 0 || begin > end || end > m)
      throw Error(std::string("the block's ") + what + " " + text(begin) + " to " + text(end) +
                  " are not a range within the " + text(m) + " objects");
  };
  check_range("rows", b.row_begin, b.row_end);
  check_range("columns", b.col_begin, b.col_end);
  const std::int64_t rows = b.row_end - b.row_begin;
  const std::int64_t cols = b.col_end - b.col_begin;
  if (values == nullptr && counts == nullptr) throw Error("neither a value nor a count buffer was given");
  if (rows == 0 || cols == 0) return;
  if (values && value_stride < cols)
    throw Error("the value buffer's row stride " + text(value_stride) + " is less than the block's " +
                text(cols) + " columns");
  if (counts && count_stride < cols)
    throw Error("the count buffer's row stride " + text(count_stride) + " is less than the block's " +
                text(cols) + " columns");

  const auto r0 = static_cast<std::size_t>(b.row_begin), r1 = static_cast<std::size_t>(b.row_end);
  const auto c0 = static_cast<std::size_t>(b.col_begin), c1 = static_cast<std::size_t>(b.col_end);
  // Each unordered pair once: p in the rows with j in the columns, then the
  // pairs that appear only mirrored (j in the rows, p in the columns).
  std::vector<Region> regions;
  auto add = [&](std::size_t pb, std::size_t pe, std::size_t jb, std::size_t je) {
    if (pb < pe && jb < je) regions.push_back({pb, pe, jb, je});
  };
  add(r0, r1, c0, c1);
  add(c0, std::min(c1, r0), r0, r1);                                 // p in the columns below the rows
  add(std::max(c0, r1), c1, r0, r1);                                 // p in the columns above the rows
  const std::size_t i0 = std::max(r0, c0), i1 = std::min(r1, c1);    // objects in both
  if (i0 < i1) {
    add(i0, i1, r0, std::min(r1, c0));
    add(i0, i1, std::max(r0, c1), r1);
  }

  Output out;
  out.values = values;
  out.value_stride = static_cast<std::size_t>(value_stride);
  out.counts = counts;
  out.count_stride = static_cast<std::size_t>(count_stride);
  out.row_begin = r0;
  out.row_end = r1;
  out.col_begin = c0;
  out.col_end = c1;
  if (!regions.empty() && !engine::kernel::run_pairs(impl_->prepared, regions, out, control_of(run)))
    throw Cancelled();

  for (std::size_t i = i0; i < i1; ++i) {
    if (values) values[(i - r0) * out.value_stride + (i - c0)] = impl_->diagonal[i];
    if (counts) counts[(i - r0) * out.count_stride + (i - c0)] = engine::known_count(impl_->prepared.table, i);
  }
  if (values && impl_->settings.dissimilarity)
    for (std::size_t r = 0; r < r1 - r0; ++r)
      for (std::size_t c = 0; c < c1 - c0; ++c) {
        float& v = values[r * out.value_stride + c];
        v = complement(v);
      }
}

void Engine::compute_condensed(std::int64_t row_begin, std::int64_t row_end, float* values,
                               std::uint32_t* counts, const RunOptions& run) const {
  const std::int64_t m = objects();
  if (row_begin < 0 || row_begin > row_end || row_end > m)
    throw Error("the rows " + text(row_begin) + " to " + text(row_end) + " are not a range within the " +
                text(m) + " objects");
  if (values == nullptr && counts == nullptr) throw Error("neither a value nor a count buffer was given");
  const auto r0 = static_cast<std::size_t>(row_begin), r1 = static_cast<std::size_t>(row_end);
  const auto objects = static_cast<std::size_t>(m);
  const Region region{r0, r1, r0, objects};
  if (r0 == r1) return;
  Output out;
  out.values = values;
  out.counts = counts;
  out.condensed = true;
  out.m = objects;
  out.first = r0 * objects - r0 * (r0 + 1) / 2;
  if (!engine::kernel::run_pairs(impl_->prepared, std::span(&region, 1), out, control_of(run)))
    throw Cancelled();
  if (values && impl_->settings.dissimilarity) {
    const std::size_t count = (r1 * objects - r1 * (r1 + 1) / 2) - out.first;
    for (std::size_t k = 0; k < count; ++k) values[k] = complement(values[k]);
  }
}

// ---------------------------------------------------------------------------

void for_each_incomparable_pair(const TableView& view,
                                const std::function<bool(std::int64_t i, std::int64_t j)>& pair) {
  check_view(view);
  const auto m = static_cast<std::size_t>(view.objects);
  const auto n = static_cast<std::size_t>(view.variables);
  if (m < 2) return;
  const std::uint32_t bits = missing_bits(view.missing);
  // A pair is incomparable when no variable is known in both: the AND of the
  // two objects' known-value bitsets is empty.
  const std::size_t words = (n + 63) / 64;
  if (words != 0 && m > std::numeric_limits<std::size_t>::max() / 8 / words) throw std::bad_alloc();
  std::vector<std::uint64_t> known(words * m, 0);
  std::vector<std::uint8_t> any(m, 0);
  for (std::size_t i = 0; i < m; ++i) {
    const float* x = view.data + static_cast<std::int64_t>(i) * view.object_stride;
    std::uint64_t* w = known.data() + i * words;
    for (std::size_t v = 0; v < n; ++v) {
      const float value = x[static_cast<std::int64_t>(v) * view.variable_stride];
      const bool missing = std::bit_cast<std::uint32_t>(value) == bits || odd_missing(value, view.missing, bits);
      if (!missing) w[v / 64] |= std::uint64_t{1} << (v % 64);
    }
    any[i] = std::any_of(w, w + words, [](std::uint64_t b) { return b != 0; });
  }
  for (std::size_t i = 0; i + 1 < m; ++i) {
    const std::uint64_t* wi = known.data() + i * words;
    for (std::size_t j = i + 1; j < m; ++j) {
      bool shared = false;
      if (any[i] && any[j]) {
        const std::uint64_t* wj = known.data() + j * words;
        for (std::size_t w = 0; w < words && !shared; ++w) shared = (wi[w] & wj[w]) != 0;
      }
      if (!shared && !pair(static_cast<std::int64_t>(i), static_cast<std::int64_t>(j))) return;
    }
  }
}

std::vector<std::pair<std::int64_t, std::int64_t>> incomparable_pairs(const TableView& table, std::size_t limit) {
  std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
  if (limit == 0) return pairs;
  for_each_incomparable_pair(table, [&](std::int64_t i, std::int64_t j) {
    pairs.emplace_back(i, j);
    return pairs.size() < limit;
  });
  return pairs;
}

}  // namespace tessora
