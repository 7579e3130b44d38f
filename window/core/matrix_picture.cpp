#include "window/core/matrix_picture.hpp"

#include <algorithm>
#include <cmath>
#include <thread>

namespace tessora::console {

std::size_t MatrixData::known_in_both(std::size_t i, std::size_t j) const {
  if (i >= m || j >= m || data.size() < n * m) return 0;
  const float* a = data.data() + i * n;
  const float* b = data.data() + j * n;
  std::size_t k = 0;
  if (missing.nan) {
    for (std::size_t v = 0; v < n; ++v) k += (a[v] == a[v] && b[v] == b[v]) ? 1 : 0;
  } else {
    const float gap = missing.marker;
    for (std::size_t v = 0; v < n; ++v) k += (a[v] != gap && b[v] != gap) ? 1 : 0;
  }
  return k;
}

bool MatrixData::converted() const {
  if (diagonal != Diagonal::one) return false;
  for (float x : diag) {
    if (std::isfinite(x)) return x == 0.0f;
  }
  return false;
}

bool MatrixData::consistent() const {
  return diag.size() == m && triangle.size() == (m > 0 ? m * (m - 1) / 2 : 0) && data.size() == n * m;
}

// ---- Dissimilarity ------------------------------------------------------------

namespace {

double raw_dissimilarity(const MatrixData& d, bool converted, std::size_t i, std::size_t j) {
  const double s = d.at(i, j);
  switch (d.diagonal) {
    case Diagonal::zero: return s;
    case Diagonal::one: return converted ? s : 1.0 - s;
    case Diagonal::own_sum:
    case Diagonal::own_variance:
      return (static_cast<double>(d.diag[i]) + static_cast<double>(d.diag[j])) / 2 - s;
  }
  return s;
}

}  // namespace

double dissimilarity(const MatrixData& d, std::size_t i, std::size_t j) {
  return raw_dissimilarity(d, d.converted(), i, j);
}

std::vector<double> clustering_input(const MatrixData& d) {
  const bool converted = d.converted();
  std::vector<double> out(d.m > 0 ? d.m * (d.m - 1) / 2 : 0);
  double largest = -std::numeric_limits<double>::infinity();
  bool odd = false;
  std::size_t at = 0;
  for (std::size_t i = 1; i < d.m; ++i) {
    for (std::size_t j = 0; j < i; ++j, ++at) {
      const double x = raw_dissimilarity(d, converted, i, j);
      out[at] = x;
      if (std::isfinite(x)) {
        largest = std::max(largest, x);
      } else {
        odd = true;
      }
    }
  }
  if (odd) {
    const double stand_in = std::isfinite(largest) ? largest : 0.0;
    for (double& x : out) {
      if (!std::isfinite(x)) x = stand_in;
    }
  }
  return out;
}

// ---- Colours ------------------------------------------------------------------

Rgb colour_map(double t) {
  if (!(t >= 0)) t = 0;  // NaN too
  if (t > 1) t = 1;
  // A degree-6 polynomial per channel through the map's published samples:
  // dark blue-violet, blue, teal, green, yellow, with lightness rising
  // evenly.
  static constexpr double c[7][3] = {
      {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
      {0.1050930431085774, 1.404613529898575, 1.384590162594685},
      {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
      {-4.634230498983486, -5.799100973351585, -19.33244095627987},
      {6.228269936347081, 14.17993336680509, 56.69055260068105},
      {4.776384997670288, -13.74514537774601, -65.35303263337234},
      {-5.435455855934631, 4.645852612178535, 26.3124352495832},
  };
  double channel[3];
  for (int k = 0; k < 3; ++k) {
    double v = c[6][k];
    for (int p = 5; p >= 0; --p) v = v * t + c[p][k];
    channel[k] = std::clamp(v, 0.0, 1.0);
  }
  auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(v * 255)); };
  return Rgb{byte(channel[0]), byte(channel[1]), byte(channel[2])};
}

ValueRange value_range(const MatrixData& d) {
  ValueRange r;
  float low = std::numeric_limits<float>::infinity();
  float high = -std::numeric_limits<float>::infinity();
  auto see = [&](float x) {
    if (std::isnan(x)) {
      r.nan = true;
    } else if (std::isinf(x)) {
      r.infinity = true;
    } else {
      low = std::min(low, x);
      high = std::max(high, x);
    }
  };
  for (float x : d.triangle) see(x);
  for (float x : d.diag) see(x);
  r.finite = low <= high;
  if (r.finite) {
    r.low = low;
    r.high = high;
  }
  return r;
}

Rgb value_colour(float value, const ValueRange& range) {
  if (std::isnan(value)) return kNanColour;
  if (std::isinf(value)) return kInfinityColour;
  const double span = static_cast<double>(range.high) - static_cast<double>(range.low);
  if (!(span > 0)) return colour_map(0.5);
  return colour_map((static_cast<double>(value) - range.low) / span);
}

// ---- Aggregation --------------------------------------------------------------

namespace {

// The running state of one cell: the sum and count of finite values, and
// whether an infinity was met.
struct Block {
  double sum = 0;
  std::uint32_t count = 0;
  bool infinity = false;

  void add(float x) {
    if (x - x == 0.0f) {  // finite
      sum += x;
      ++count;
    } else if (x == x) {  // infinite
      infinity = true;
    }
  }
  void merge(const Block& o) {
    sum += o.sum;
    count += o.count;
    infinity = infinity || o.infinity;
  }
  float value() const {
    if (count > 0) return static_cast<float>(sum / count);
    if (infinity) return std::numeric_limits<float>::infinity();
    return std::numeric_limits<float>::quiet_NaN();
  }
};

// A block being filled for one bin of a sweep, handed to the grid when the
// bin changes (or dropped when the bin is out of view).
struct Run {
  int bin = -1;
  Block block;
  void flush_to(Block* grid, std::size_t limit) {
    if (bin >= 0 && static_cast<std::size_t>(bin) < limit && (block.count > 0 || block.infinity))
      grid[bin].merge(block);
    block = Block{};
  }
};

}  // namespace

std::vector<float> aggregate(const MatrixData& d, const std::vector<int>& row_bin, std::size_t rows,
                             const std::vector<int>& col_bin, std::size_t cols, std::size_t direct_limit) {
  std::vector<float> out(rows * cols, std::numeric_limits<float>::quiet_NaN());
  if (!d.consistent() || row_bin.size() != d.m || col_bin.size() != d.m || rows == 0 || cols == 0) return out;
  auto in_range = [](int bin, std::size_t limit) { return bin >= 0 && static_cast<std::size_t>(bin) < limit; };

  std::vector<std::size_t> row_objects, col_objects;
  for (std::size_t i = 0; i < d.m; ++i) {
    if (in_range(row_bin[i], rows)) row_objects.push_back(i);
    if (in_range(col_bin[i], cols)) col_objects.push_back(i);
  }

  std::vector<Block> blocks(rows * cols);
  if (row_objects.size() * col_objects.size() <= direct_limit) {
    // Cell by cell over the objects in view.
    for (std::size_t i : row_objects) {
      Block* line = blocks.data() + static_cast<std::size_t>(row_bin[i]) * cols;
      for (std::size_t j : col_objects) line[col_bin[j]].add(d.at(i, j));
    }
  } else {
    // One sweep of the triangle: the pair (i, j), i > j, is cell (i, j) and
    // its mirror (j, i). Each thread takes rows of the triangle with equal
    // shares of pairs and keeps blocks of its own.
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
    std::vector<std::vector<Block>> partial(threads);
    std::vector<std::size_t> bounds(threads + 1, d.m);
    bounds[0] = 0;
    for (unsigned t = 1; t < threads; ++t) {
      bounds[t] = static_cast<std::size_t>(std::sqrt(static_cast<double>(t) / threads) * static_cast<double>(d.m));
    }
    // The mirror cells go to a transposed grid first: within one row i of
    // the triangle they lie down one column, which the transposed grid
    // holds side by side.
    std::vector<std::vector<Block>> mirrored(threads);
    auto sweep = [&](unsigned t) {
      std::vector<Block>& mine = t == 0 ? blocks : partial[t];
      if (t != 0) mine.assign(rows * cols, Block{});
      std::vector<Block>& flipped = mirrored[t];
      flipped.assign(rows * cols, Block{});
      for (std::size_t i = bounds[t]; i < bounds[t + 1]; ++i) {
        const int ri = row_bin[i], ci = col_bin[i];
        const bool row_in = in_range(ri, rows), col_in = in_range(ci, cols);
        if (row_in && col_in) mine[static_cast<std::size_t>(ri) * cols + ci].add(d.diag[i]);
        if (!row_in && !col_in) continue;
        const float* values = d.triangle.data() + i * (i - 1) / 2;
        Block* line = row_in ? mine.data() + static_cast<std::size_t>(ri) * cols : nullptr;
        Block* column = col_in ? flipped.data() + static_cast<std::size_t>(ci) * rows : nullptr;
        // Neighbouring objects mostly share a bin (always so in the data's
        // order), so each sweep keeps the current bin's block in a local
        // run and touches the grid only when the bin changes.
        Run along_line, down_column;
        for (std::size_t j = 0; j < i; ++j) {
          const float x = values[j];
          if (line) {
            const int b = col_bin[j];
            if (b != along_line.bin) along_line.flush_to(line, cols), along_line.bin = b;
            along_line.block.add(x);
          }
          if (column) {
            const int b = row_bin[j];
            if (b != down_column.bin) down_column.flush_to(column, rows), down_column.bin = b;
            down_column.block.add(x);
          }
        }
        if (line) along_line.flush_to(line, cols);
        if (column) down_column.flush_to(column, rows);
      }
      for (std::size_t c = 0; c < cols; ++c)
        for (std::size_t r = 0; r < rows; ++r) mine[r * cols + c].merge(flipped[c * rows + r]);
      std::vector<Block>().swap(flipped);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(sweep, t);
    sweep(0);
    for (auto& th : pool) th.join();
    for (unsigned t = 1; t < threads; ++t) {
      for (std::size_t c = 0; c < blocks.size(); ++c) blocks[c].merge(partial[t][c]);
    }
  }
  // Every block of a row and a column in view holds a cell at least.
  for (std::size_t c = 0; c < blocks.size(); ++c) out[c] = blocks[c].value();
  return out;
}

Binning bin_objects(const std::vector<std::size_t>& order, double first, double scale, int pixels) {
  Binning b;
  std::size_t m = order.size();
  b.of_object.assign(m, -1);
  if (!(scale > 0) || pixels <= 0 || !std::isfinite(first)) {
    b.pixel_start.push_back(0);
    return b;
  }
  int last_start = -1;
  double last_end = 0;
  for (std::size_t p = 0; p < m; ++p) {
    const double x0 = (static_cast<double>(p) - first) * scale;
    const double x1 = x0 + scale;
    if (x1 <= 0) continue;
    if (x0 >= pixels) break;
    const int start = static_cast<int>(std::floor(std::max(x0, 0.0)));
    if (start != last_start) {
      b.pixel_start.push_back(start);
      last_start = start;
      ++b.bins;
    }
    b.of_object[order[p]] = static_cast<int>(b.bins - 1);
    last_end = x1;
  }
  const int end = static_cast<int>(std::min<double>(std::ceil(last_end), pixels));
  b.pixel_start.push_back(b.bins > 0 ? std::max(end, last_start + 1) : 0);
  return b;
}

}  // namespace tessora::console
