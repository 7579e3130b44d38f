#include "analysis/matrix_output.hpp"

#include <algorithm>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/coefficients.hpp"
#include "analysis/datafile.hpp"
#include "analysis/dialogue_io.hpp"
#include "recordio/real_text.hpp"

namespace tessora::analysis {

void convert_to_dissimilarity(ResemblanceMatrix& res) {
  auto complement = [](float& s) { s = static_cast<float>(1.0 - static_cast<double>(s)); };
  for (float& s : res.triangle()) complement(s);
  for (float& s : res.diagonal()) complement(s);
}

namespace {

std::size_t row_length(std::size_t i, std::size_t m, bool full) { return full ? m : i + 1; }

void write_rows_plain(recordio::Runtime& rt, const ResemblanceMatrix& res, std::size_t m, bool full) {
  for (std::size_t i = 0; i < m; ++i) {
    rt.begin_write(kFileUnit);
    for (std::size_t j = 0; j < row_length(i, m, full); ++j) rt.write_item(res.at(i, j));
    rt.end_write();
  }
}

// Formats the real items of row i, exactly as one write_item per value would.
void format_row(const ResemblanceMatrix& res, std::size_t i, std::size_t count, std::string& out) {
  out.resize(count * recordio::kMaxRealText);
  char* p = out.data();
  const float* lower = res.lower_row(i);
  for (std::size_t j = 0; j < count; ++j) {
    const float v = j < i ? lower[j] : (j == i ? res.diagonal()[i] : res.at(i, j));
    p += recordio::format_real(v, p);
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

// Formats blocks of rows on all cores, then hands each row to the record
// layer as one write statement: the same bytes as the plain path.
void write_rows_parallel(recordio::Runtime& rt, const ResemblanceMatrix& res, std::size_t m,
                         bool full) {
  const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
  constexpr std::size_t kBlockValues = std::size_t{1} << 20;  // about 10 MB of text a block
  std::vector<std::string> rows;
  std::size_t first = 0;
  while (first < m) {
    std::size_t last = first;
    std::size_t values = 0;
    while (last < m && (last == first || values < kBlockValues)) values += row_length(last++, m, full);
    rows.resize(last - first);
    auto work = [&](std::size_t t) {
      for (std::size_t i = first + t; i < last; i += threads) format_row(res, i, row_length(i, m, full), rows[i - first]);
    };
    if (threads == 1 || values < 4096) {
      work(0);
      for (std::size_t t = 1; t < threads; ++t) work(t);
    } else {
      std::vector<std::jthread> pool;
      for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work, t);
      work(0);
    }
    for (std::size_t i = first; i < last; ++i) {
      rt.begin_write(kFileUnit);
      rt.write_formatted_reals(rows[i - first]);
      rt.end_write();
    }
    first = last;
  }
}

}  // namespace

void write_matrix_file(recordio::Runtime& rt, std::int32_t coefficient, const std::string& title,
                       std::int32_t m, ResemblanceMatrix& res, bool plain_rows) {
  std::int32_t layout = 1;
  if (asks_layout(coefficient)) {
    say(rt, " RESEMBLANCE MATRIX WILL BE WRITTEN TO MATRIX.TXT");
    say(rt, " 0=FULL MATRIX,  1=LOWER SEMIMATRIX WITH DIAGONAL");
    say(rt, " ENTER OPTION CHOSEN");
    layout = 0;
    ask(rt, layout);
  }

  rt.open(kFileUnit, kMatrixFileName, /*create=*/true);
  rt.begin_write(kFileUnit);
  rt.write_item(std::string_view(" MATRIX "));
  rt.write_item(coefficient);
  rt.write_item(std::string_view(" FROM "));
  rt.write_item(std::string_view(title));
  rt.end_write();
  rt.begin_write(kFileUnit);
  rt.write_item(m);
  rt.end_write();

  if (is_similarity(coefficient)) {
    say(rt, " 0=MATRIX SAVED AS IT IS");
    say(rt, " 1=CONVERTED TO DISSIMILARITY MATRIX D=1-S");
    std::int32_t conversion = 0;
    ask(rt, conversion);
    if (conversion == 1) convert_to_dissimilarity(res);
  }

  const std::size_t rows = res.size() > 0 ? static_cast<std::size_t>(res.size()) : 0;
  if (plain_rows) {
    write_rows_plain(rt, res, rows, layout == 0);
  } else {
    write_rows_parallel(rt, res, rows, layout == 0);
  }
  rt.close(kFileUnit);
}

}  // namespace tessora::analysis
