#include "window/core/window_host.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "window/core/texts.hpp"
#include "fakes.hpp"

namespace tessora::console {
namespace {

using testing::CannedDialogs;
using testing::MemoryClipboard;
using testing::ScriptedPump;
using testing::type_text;

struct Rig {
  TextWindow window;
  ScriptedPump pump;
  CannedDialogs dialogs;
  WindowHost host{window, pump, dialogs};
  // A user action that arrives while the host waits.
  void then_type(std::string text) {
    pump.then([this, text] { type_text(window, text); });
  }
  void then_close() {
    pump.then([this] { closed_by_user = host.close_requested(); });
  }
  bool closed_by_user = false;
};

std::string temp_path(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tessora_host_" + name)).string();
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// ---- Reads ----------------------------------------------------------------

TEST(WindowHostRead, LongTypedLineReachesTheProgramCut) {
  Rig r;
  r.then_type(std::string(300, '7') + "\r");
  std::string line;
  ASSERT_EQ(r.host.read_line(line, 254), ReadResult::line);
  EXPECT_EQ(line, std::string(254, '7'));
  EXPECT_EQ(r.window.transcript().line(0).size(), 300u);  // the transcript keeps all of it
}

TEST(WindowHostRead, EmptyEnterGivesAnEmptyLine) {
  Rig r;
  r.then_type("\r");
  std::string line = "stale";
  ASSERT_EQ(r.host.read_line(line, 254), ReadResult::line);
  EXPECT_EQ(line, "");
  EXPECT_EQ(r.window.transcript().lines(), std::vector<std::string>{""});
}

TEST(WindowHostRead, PasteWithCarriageReturnEndsTheRead) {
  Rig r;
  MemoryClipboard clip;
  r.window.write_piece(" ENTER INPUT FILENAME\r\n");
  r.pump.then([&] {
    r.window.mouse_press();
    r.window.mouse_drag(0, 7);
    r.window.mouse_drag(0, 12);
    r.window.mouse_release();
    r.window.copy(clip);  // "INPUT"
    clip.contents = "DATA.TXT\rnext";
    r.window.paste(clip);
  });
  std::string line;
  ASSERT_EQ(r.host.read_line(line, 254), ReadResult::line);
  EXPECT_EQ(line, "DATA.TXT");
}

TEST(WindowHostRead, CloseWhileAReadWaitsEndsTheRun) {
  Rig r;
  r.dialogs.answer = Answer::no;
  r.then_type("12");
  r.then_close();
  std::string line;
  EXPECT_EQ(r.host.read_line(line, 254), ReadResult::closed);
  EXPECT_TRUE(r.closed_by_user);
  EXPECT_EQ(r.dialogs.questions, std::vector<std::string>{"Save the Input/Output window?"});
  EXPECT_FALSE(r.host.write_piece("late\n", Stream::output));
  EXPECT_FALSE(r.host.statement_start());
  EXPECT_FALSE(r.host.progress(0.5));
  EXPECT_EQ(r.host.read_line(line, 254), ReadResult::closed);
  EXPECT_EQ(r.window.transcript().lines(), std::vector<std::string>{"12"});
}

TEST(WindowHostOutput, CloseSeenWhileOutputIsShownStopsTheRun) {
  Rig r;
  r.pump.pending([&] { r.host.close_requested(); });
  EXPECT_FALSE(r.host.write_piece(" LINE\r\n", Stream::output));
  EXPECT_EQ(r.window.transcript().lines(), std::vector<std::string>{" LINE"});
}

TEST(WindowHostOutput, StatementStartHandlesEvents) {
  Rig r;
  r.pump.pending([&] { r.window.type('x'); });
  EXPECT_TRUE(r.host.statement_start());
  EXPECT_EQ(r.pump.processed, 1);
  EXPECT_EQ(r.window.transcript().lines(), std::vector<std::string>{"x"});
}

// ---- End of the run and the close sequence ----------------------------------

struct CloseCase {
  const char* name;
  int run_code;  // the stop's or the report's
  Answer answer;
  std::optional<std::string> save_as_name;  // what the save dialog returns
  bool have_file_name;                      // a Save As happened before
  int exit_code;
  int questions;
  int file_dialogs;
  bool written;
};

class CloseSequence : public ::testing::TestWithParam<CloseCase> {};

TEST_P(CloseSequence, AnswersDecideWhatIsSaved) {
  const CloseCase& c = GetParam();
  const std::string path = temp_path(std::string(c.name) + ".txt");
  std::filesystem::remove(path);
  Rig r;
  r.window.write_piece(" STOP ");
  if (c.have_file_name) {
    r.dialogs.file_name = path;
    r.host.save_as();
    std::filesystem::remove(path);
    r.window.write_piece("more");  // unsaved again
  }
  r.dialogs.answer = c.answer;
  r.dialogs.file_name = c.save_as_name ? std::optional<std::string>(path) : std::nullopt;
  const int dialogs_before = r.dialogs.file_dialogs;
  r.then_close();
  EXPECT_EQ(r.host.end_of_run(c.run_code), c.exit_code);
  EXPECT_TRUE(r.host.run_ended());
  EXPECT_TRUE(r.host.closing());
  EXPECT_EQ(static_cast<int>(r.dialogs.questions.size()), c.questions);
  EXPECT_EQ(r.dialogs.file_dialogs - dialogs_before, c.file_dialogs);
  EXPECT_EQ(std::filesystem::exists(path), c.written);
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CloseSequence,
    ::testing::Values(CloseCase{"no_after_stop", 0, Answer::no, std::nullopt, false, 0, 1, 0, false},
                      CloseCase{"no_after_report", -1, Answer::no, std::nullopt, false, 255, 1, 0, false},
                      CloseCase{"yes_asks_for_a_name", 0, Answer::yes, "x", false, 0, 1, 1, true},
                      CloseCase{"yes_with_a_name_saves_there", -1, Answer::yes, std::nullopt, true, 255, 1, 0, true},
                      CloseCase{"yes_then_cancelled_save_as_still_closes", 0, Answer::yes, std::nullopt, false, 0, 1,
                                1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowHostClose, CancelKeepsEverything) {
  Rig r;
  r.window.write_piece("text");
  r.dialogs.answer = Answer::cancel;
  EXPECT_FALSE(r.host.close_requested());
  EXPECT_FALSE(r.host.closing());
  EXPECT_TRUE(r.host.write_piece("still running\n", Stream::output));
  // The next close, answered No, goes through; a third only runs the default.
  r.dialogs.answer = Answer::no;
  EXPECT_TRUE(r.host.close_requested());
  EXPECT_TRUE(r.host.close_requested());
  EXPECT_EQ(r.dialogs.questions.size(), 2u);
}

TEST(WindowHostClose, SavedTranscriptClosesWithoutAQuestion) {
  const std::string path = temp_path("saved.txt");
  Rig r;
  r.window.write_piece("text");
  r.dialogs.file_name = path;
  r.host.save();  // no name yet: Save As
  EXPECT_TRUE(r.window.saved());
  EXPECT_TRUE(r.host.close_requested());
  EXPECT_TRUE(r.dialogs.questions.empty());
  std::filesystem::remove(path);
}

// ---- Save commands --------------------------------------------------------

TEST(WindowHostSave, SaveAsNamesTheWindowAndWritesCrLf) {
  const std::string path = temp_path("three.txt");
  Rig r;
  for (const char* piece : {"one\n", "two\r\n", "three"}) r.window.write_piece(piece);
  r.dialogs.file_name = path;
  std::string caption_seen;
  r.host.on_caption_changed = [&] { caption_seen = r.host.caption(); };
  EXPECT_EQ(r.host.caption(), "Input/Output");
  r.host.save_as();
  EXPECT_EQ(caption_seen, "tessora_host_three.txt");
  EXPECT_EQ(r.host.file_name(), path);
  EXPECT_EQ(slurp(path), "one\r\ntwo\r\nthree\r\n");
  // Save goes to the same name without a dialog.
  r.window.write_piece("four");
  r.host.save();
  EXPECT_EQ(r.dialogs.file_dialogs, 1);
  EXPECT_EQ(slurp(path), "one\r\ntwo\r\nthree\r\nfour\r\n");
  std::filesystem::remove(path);
}

TEST(WindowHostSave, CancelledSaveAsChangesNothing) {
  Rig r;
  r.window.write_piece("x");
  r.host.save_as();
  EXPECT_EQ(r.host.caption(), "Input/Output");
  EXPECT_FALSE(r.window.saved());
  EXPECT_TRUE(r.dialogs.warnings.empty());
}

// A save that fails leaves the name, the caption and the saved flag as they
// were, whether the file cannot be made or writing stops part way.
struct FailedSave {
  const char* name;
  std::string path;
  const char* warning;
};

class WindowHostFailedSave : public ::testing::TestWithParam<FailedSave> {};

TEST_P(WindowHostFailedSave, WarnsAndChangesNothing) {
  const FailedSave& c = GetParam();
  if (c.path == "/dev/full" && !std::filesystem::exists(c.path)) GTEST_SKIP() << "no /dev/full here";
  Rig r;
  r.window.write_piece("x");
  int captions = 0;
  r.host.on_caption_changed = [&] { ++captions; };
  r.dialogs.file_name = c.path;
  EXPECT_EQ(r.host.save_as(), WindowHost::Saved::failed);
  EXPECT_EQ(r.dialogs.warnings, std::vector<std::string>{c.warning});
  EXPECT_FALSE(r.window.saved());
  EXPECT_EQ(r.host.caption(), "Input/Output");
  EXPECT_TRUE(r.host.file_name().empty());
  EXPECT_EQ(captions, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WindowHostFailedSave,
    ::testing::Values(FailedSave{"cannot_create", temp_path("no_such_dir/inner.txt"), "Cannot create file"},
                      FailedSave{"write_error", "/dev/full", "I/O error while writing file"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowHostClose, FailedSaveOnYesAbandonsTheCloseUntilANameWorks) {
  const std::string good = temp_path("second_try.txt");
  std::filesystem::remove(good);
  Rig r;
  r.window.write_piece(" STOP ");
  r.dialogs.answer = Answer::yes;
  r.dialogs.file_name = temp_path("no_such_dir/inner.txt");
  r.pump.then([&] { r.closed_by_user = r.host.close_requested(); });
  r.pump.then([&] {
    // The first close was abandoned: nothing went, nothing was saved.
    EXPECT_FALSE(r.closed_by_user);
    EXPECT_FALSE(r.host.closing());
    EXPECT_FALSE(r.window.saved());
    EXPECT_EQ(r.window.transcript().lines(), std::vector<std::string>{" STOP "});
    r.dialogs.file_name = good;
    r.closed_by_user = r.host.close_requested();
  });
  EXPECT_EQ(r.host.end_of_run(0), 0);
  EXPECT_TRUE(r.closed_by_user);
  EXPECT_EQ(r.dialogs.questions.size(), 2u);
  EXPECT_EQ(r.dialogs.warnings, std::vector<std::string>{"Cannot create file"});
  EXPECT_EQ(slurp(good), " STOP \r\n");
  std::filesystem::remove(good);
}

TEST(WindowHostOutput, LongOutputHandlesEventsInBatches) {
  Rig r;
  const std::size_t lines = 10 * WindowHost::kLinesPerBatch;
  for (std::size_t i = 0; i < lines; ++i) ASSERT_TRUE(r.host.write_piece("line\r\n", Stream::output));
  // At least once per batch, and far fewer times than there are lines (the
  // time limit adds one pass per interval on a slow machine).
  EXPECT_GE(r.pump.processed, 10);
  EXPECT_LT(r.pump.processed, static_cast<int>(lines / 4));
  // A read starts afresh: the first line after it handles events at once.
  const int before = r.pump.processed;
  r.then_type("1\r");
  std::string line;
  EXPECT_EQ(r.host.read_line(line, 10), ReadResult::line);
  EXPECT_TRUE(r.host.write_piece("next\r\n", Stream::output));
  EXPECT_EQ(r.pump.processed, before + 1);
}

// ---- Progress -------------------------------------------------------------

TEST(WindowHostProgress, ShownDuringTheComputationAndClearedAfter) {
  Rig r;
  std::vector<double> shown;
  r.host.on_progress = [&](double f) { shown.push_back(f); };
  EXPECT_TRUE(r.host.progress(0.25));
  EXPECT_TRUE(r.host.progress(1.5));  // clamped
  EXPECT_TRUE(r.host.write_piece(" RESEMBLANCE MATRIX WILL BE WRITTEN TO MATRIX.TXT\r\n", Stream::output));
  EXPECT_TRUE(r.host.statement_start());  // nothing more to clear
  EXPECT_EQ(shown, (std::vector<double>{0.25, 1.0, -1.0}));
  EXPECT_EQ(r.window.transcript().line_count(), 1u);  // never in the transcript
  EXPECT_EQ(r.pump.processed, 4);
}

}  // namespace
}  // namespace tessora::console
