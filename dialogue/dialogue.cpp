#include "dialogue/dialogue.hpp"

#include <new>
#include <utility>
#include <string>

#include "dialogue/datafile.hpp"
#include "dialogue/dialogue_io.hpp"
#include "dialogue/matrix_output.hpp"
#include "tessora/engine.hpp"
#include "tessora/error.hpp"

namespace tessora::dialogue {


namespace {

constexpr std::string_view kMenu[] = {
    "            SELECT COEFFICIENT ",
    "  1 EUCLIDEAN    13 FAITH         ZEMPA ET AL.:",
    "  2 MANHATTAN    14 PEN SHAPE  25 SIMPLE MATCH ",
    "  3 MEAN CH DIF  15 PEN SIZE   26 ROGERS-TANIM ",
    "  4 RUZICKA      16 GOWER      27 SOKAL-SNEATH ",
    "  5 SIM RATIO    17 HELLINGER  28 ANDERB 1     ",
    "  6 MARC-STEIN   18 CANBERRA   29 ANDERB 2     ",
    "  7 BRAYCUR SIM  19 KULCZYNSKI 30 FAITH 2      ",
    "  8 BRAYCUR DIS  20 CHI SQ     31 RUSSELL-RAO  ",
    "  9 CHORD DIS    21 RENKONEN   32 BARONI       ",
    " 10 ANGULAR SEP  22 COEF DIVG  33 YULE 1       ",
    " 11 GEODESIC     23 COVARIANCE 34 YULE 2       ",
    " 12 KENDALL      24 CORRELATION      ",
    "    ENTER OPTION CHOSEN ",
};

// The resemblance matrix through the library: the engine, whose progress the
// host's hook watches (and cancels when the window is closed during the
// run), or the plain reference loop.
tessora::Matrix compute_matrix(const DataMatrix& data, std::int32_t coefficient, std::int32_t scaling,
                               bool reference, recordio::Runtime& rt) {
  if (data.m <= 0) return tessora::Matrix();
  tessora::Settings settings;
  settings.coefficient = coefficient;
  settings.scale = scaling == 1;
  if (reference) return tessora::reference_matrix(as_view(data), settings);
  const tessora::Engine engine(as_view(data), settings);
  tessora::RunOptions run;
  run.progress = [&rt](double fraction) { return rt.hooks().progress(fraction); };
  return engine.compute(run);
}

void blank_record(recordio::Runtime& rt) {
  rt.begin_write(recordio::kConsole);
  rt.end_write();
}

}  // namespace

void run_dialogue(recordio::Runtime& rt, const DialogueOptions& options) {
  say(rt, " ***     PROGRAM TESSORA     *** ");
  say(rt, " ***  RESEMBLANCE FUNCTIONS  *** ");
  say(rt, " ***   FOR INCOMPLETE DATA   *** ");
  blank_record(rt);

  say(rt, " ENTER INPUT FILENAME");
  std::string file_name(kTextLength, ' ');
  rt.begin_read(recordio::kConsole);
  rt.read_item(file_name.data(), kTextLength);
  rt.end_read();

  if (!open_data_file(rt, file_name)) {
    blank_record(rt);
    rt.close(kFileUnit);
    rt.stop(" ");
  }

  say(rt, " 0=ANALYSIS BETWEEN COLS, 1=ANALYSIS BETWEEN ROWS");
  std::int32_t orientation = 0;
  ask(rt, orientation);

  DataFile file = read_data_file(rt, orientation);
  const bool incomparable = options.reference_paths
                                ? report_incomparable_pairs_reference(rt, file.data)
                                : report_incomparable_pairs(rt, file.data);
  if (incomparable) rt.stop(" ");

  for (std::string_view line : kMenu) say(rt, line);
  std::int32_t coefficient = 0;
  ask(rt, coefficient);

  std::int32_t scaling = 0;
  if (tessora::is_scalable(coefficient)) {
    say(rt, " DO YOU WANT THE DISTANCES SCALED UP BY THE RATIO");
    say(rt, " OF THE NO OF ALL VARS OVER THE NO OF KNOWNS ");
    say(rt, " 0=NO,  1=YES");
    say(rt, " ENTER OPTION CHOSEN");
    ask(rt, scaling);
  }

  tessora::Matrix res;
  bool cancelled = false;
  try {
    res = compute_matrix(file.data, coefficient, scaling, options.reference_paths, rt);
  } catch (const std::bad_alloc&) {
    rt.fail(recordio::err::kBufferAllocation);
  } catch (const tessora::Cancelled&) {
    cancelled = true;
  }
  if (cancelled) rt.window_closed();

  std::int32_t layout = 1;  // 14 and 15 always give the lower semimatrix
  if (tessora::layout_asked(coefficient)) {
    say(rt, " RESEMBLANCE MATRIX WILL BE WRITTEN TO MATRIX.TXT");
    say(rt, " 0=FULL MATRIX,  1=LOWER SEMIMATRIX WITH DIAGONAL");
    say(rt, " ENTER OPTION CHOSEN");
    layout = 0;
    ask(rt, layout);
  }
  open_matrix_file(rt, coefficient, file.title, file.data.m);
  if (tessora::is_similarity(coefficient)) {
    say(rt, " 0=MATRIX SAVED AS IT IS");
    say(rt, " 1=CONVERTED TO DISSIMILARITY MATRIX D=1-S");
    std::int32_t conversion = 0;
    ask(rt, conversion);
    if (conversion == 1) res.to_dissimilarity();
  }
  write_matrix_rows(rt, res, layout == 0, options.reference_paths);
  if (options.matrix_written) options.matrix_written({coefficient, file.data, res});
  rt.stop(" ");
}

}  // namespace tessora::dialogue
