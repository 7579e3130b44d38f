// The whole dialogue typed into the window gives the same MATRIX.TXT and the
// same lines as the plain console run with the same answers; closing during
// a read and after a report end the process with the right codes.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/run.hpp"
#include "window/qt/session.hpp"
#include "qt_environment.hpp"
#include "user_driver.hpp"

namespace tessora::console {
namespace {

using testing::UserDriver;
using testing::Watchdog;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

namespace fs = std::filesystem;

constexpr const char* kData =
    "BEETLES ON FIVE MEADOWS\n"
    "3 5\n"
    "1.5 2 -1 4 0\n"
    "0 1 2.25 3 -1\n"
    "7 -1 1 0 12\n";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

fs::path fresh_dir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("tessora_dialogue_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "DATA.TXT", std::ios::binary) << kData;
  return dir;
}

// Runs in `dir` and comes back when done.
class InDirectory {
 public:
  explicit InDirectory(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~InDirectory() { fs::current_path(old_); }

 private:
  fs::path old_;
};

struct ConsoleRun {
  std::vector<std::string> lines;  // standard output and error, in order
  int exit_code = -1;
  std::string matrix;  // MATRIX.TXT, empty when not written
  bool matrix_written = false;
};

ConsoleRun run_console(const std::vector<std::string>& answers, const std::string& name) {
  const fs::path dir = fresh_dir(name + "_console");
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(dir.string()));
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QStringLiteral(TESSORA_CONSOLE_PROGRAM), {});
  EXPECT_TRUE(p.waitForStarted(10000));
  std::string input;
  for (const auto& a : answers) input += a + "\n";
  p.write(input.data(), static_cast<qint64>(input.size()));
  p.closeWriteChannel();
  EXPECT_TRUE(p.waitForFinished(30000));
  ConsoleRun run;
  run.exit_code = p.exitCode();
  const std::string out = p.readAll().toStdString();
  std::size_t start = 0;
  for (std::size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', start)) {
    std::string line = out.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run.lines.push_back(line);
    start = nl + 1;
  }
  if (start < out.size()) run.lines.push_back(out.substr(start));
  run.matrix_written = fs::exists(dir / "MATRIX.TXT");
  if (run.matrix_written) run.matrix = slurp(dir / "MATRIX.TXT");
  return run;
}

// The window's lines as a stream console shows them: the typed answers
// taken out (a stream console does not echo them), the stop's three pieces
// on one line and a report's statement and unit pieces on one line.
std::vector<std::string> as_stream(const Transcript& t, const std::vector<std::size_t>& typed) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < t.line_count(); ++i) {
    if (std::find(typed.begin(), typed.end(), i) != typed.end()) continue;
    const std::string& line = t.line(i);
    if (line == " STOP " && i + 3 == t.line_count() && t.line(i + 2).empty()) {
      out.push_back(line + t.line(i + 1));
      break;
    }
    if (line.rfind("? ", 0) == 0 && line.size() > 6 && line.compare(line.size() - 6, 6, "(UNIT=") == 0 &&
        i + 1 < t.line_count()) {
      out.push_back(line + t.line(++i));
      continue;
    }
    out.push_back(line);
  }
  return out;
}

struct DialogueCase {
  const char* name;
  std::vector<std::string> answers;
  int exit_code;
};

class WholeDialogue : public ::testing::TestWithParam<DialogueCase> {};

TEST_P(WholeDialogue, WindowMatchesThePlainConsole) {
  Watchdog watchdog;
  const DialogueCase& c = GetParam();
  const ConsoleRun console = run_console(c.answers, c.name);
  ASSERT_EQ(console.exit_code, c.exit_code);

  const fs::path dir = fresh_dir(std::string(c.name) + "_window");
  InDirectory here(dir);
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers.assign(c.answers.begin(), c.answers.end());
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = [](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) UserDriver::press(box, QMessageBox::No);
  };
  const int code = app::run_program(s.host());

  EXPECT_EQ(code, c.exit_code);
  EXPECT_EQ(as_stream(s.window().transcript(), user.typed_lines), console.lines);
  ASSERT_EQ(user.typed_lines.size(), c.answers.size());
  for (std::size_t i = 0; i < c.answers.size(); ++i) {
    EXPECT_EQ(s.window().transcript().line(user.typed_lines[i]), c.answers[i]);
  }
  EXPECT_EQ(fs::exists(dir / "MATRIX.TXT"), console.matrix_written);
  if (console.matrix_written) {
    EXPECT_EQ(slurp(dir / "MATRIX.TXT"), console.matrix);
  }
  EXPECT_EQ(user.boxes_seen, std::vector<std::string>{"TOLA: Save the Input/Output window?"});
}

INSTANTIATE_TEST_SUITE_P(
    Runs, WholeDialogue,
    ::testing::Values(DialogueCase{"euclidean_full", {"DATA.TXT", "0", "1", "0", "0"}, 0},
                      DialogueCase{"euclidean_scaled_lower", {"DATA.TXT", "0", "1", "1", "1"}, 0},
                      DialogueCase{"rows_similarity_converted", {"DATA.TXT", "1", "4", "0", "1"}, 0},
                      DialogueCase{"pen_shape_asks_no_layout", {"DATA.TXT", "0", "14"}, 0},
                      DialogueCase{"empty_answers_are_skipped", {"DATA.TXT", "", "0", "3", "", "7"}, 0},
                      DialogueCase{"missing_data_file", {"NO_SUCH.TXT"}, 0},
                      DialogueCase{"letters_at_the_menu", {"DATA.TXT", "0", "abc"}, 255},
                      DialogueCase{"bad_conversion_answer", {"DATA.TXT", "0", "24", "0", "1.0"}, 255}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DialogueClose, CloseWhileTheConversionQuestionWaitsKeepsTheHeaders) {
  Watchdog watchdog;
  const std::vector<std::string> answers = {"DATA.TXT", "0", "4", "0"};
  std::vector<std::string> full = answers;
  full.push_back("0");
  const ConsoleRun console = run_console(full, "close_at_conversion");
  ASSERT_TRUE(console.matrix_written);
  // The two header records, each with its line end.
  std::size_t second = console.matrix.find('\n', console.matrix.find('\n') + 1);
  ASSERT_NE(second, std::string::npos);
  const std::string headers = console.matrix.substr(0, second + 1);

  const fs::path dir = fresh_dir("close_at_conversion_window");
  InDirectory here(dir);
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers.assign(answers.begin(), answers.end());
  user.when_answers_run_out = [&] { s.frame().close(); };
  user.on_modal = [](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) UserDriver::press(box, QMessageBox::No);
  };
  EXPECT_EQ(app::run_program(s.host()), 0);
  EXPECT_FALSE(s.host().run_ended());
  EXPECT_EQ(slurp(dir / "MATRIX.TXT"), headers);
  // The record's own blank and the prompt's.
  EXPECT_EQ(s.window().transcript().lines().back(), "  1=CONVERTED TO DISSIMILARITY MATRIX D=1-S");
  // MATRIX.TXT was closed: it can be replaced at once.
  EXPECT_TRUE(fs::remove(dir / "MATRIX.TXT"));
}

TEST(DialogueClose, CloseAfterAnErrorReportGives255) {
  Watchdog watchdog;
  const fs::path dir = fresh_dir("close_after_report");
  InDirectory here(dir);
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers = {"DATA.TXT", "0", "abc"};
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = [](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) UserDriver::press(box, QMessageBox::No);
  };
  EXPECT_EQ(app::run_program(s.host()), 255);
  const auto& lines = s.window().transcript().lines();
  ASSERT_GE(lines.size(), 4u);
  const std::vector<std::string> report(lines.end() - 4, lines.end());
  EXPECT_EQ(report, (std::vector<std::string>{"? FORTRAN Runtime Error:", "? Illegal character in numeric input",
                                              "? READ(UNIT=", "*,..."}));
}

}  // namespace
}  // namespace tessora::console
