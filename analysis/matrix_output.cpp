#include "analysis/matrix_output.hpp"

#include <string_view>

#include "analysis/coefficients.hpp"
#include "analysis/datafile.hpp"
#include "analysis/dialogue_io.hpp"

namespace tessora::analysis {

void convert_to_dissimilarity(ResemblanceMatrix& res) {
  auto complement = [](float& s) { s = static_cast<float>(1.0 - static_cast<double>(s)); };
  for (float& s : res.triangle()) complement(s);
  for (float& s : res.diagonal()) complement(s);
}

namespace {

void write_rows(recordio::Runtime& rt, const ResemblanceMatrix& res, bool full) {
  const std::size_t m = res.size() > 0 ? static_cast<std::size_t>(res.size()) : 0;
  for (std::size_t i = 0; i < m; ++i) {
    rt.begin_write(kFileUnit);
    const std::size_t last = full ? m : i + 1;
    for (std::size_t j = 0; j < last; ++j) rt.write_item(res.at(i, j));
    rt.end_write();
  }
}

}  // namespace

void write_matrix_file(recordio::Runtime& rt, std::int32_t coefficient, const std::string& title,
                       std::int32_t m, ResemblanceMatrix& res) {
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

  write_rows(rt, res, layout == 0);
  rt.close(kFileUnit);
}

}  // namespace tessora::analysis
