// Faults found by using the window: printing with the print dialog's
// defaults, a save that fails while the window closes, a long report, and
// the Window menu's item for a minimised text window.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "window/qt/main_frame.hpp"
#include "window/qt/session.hpp"
#include "window/qt/text_view.hpp"
#include "qt_environment.hpp"
#include "user_driver.hpp"

namespace tessora::console {
namespace {

using testing::UserDriver;
using testing::Watchdog;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
  const auto dir = fs::temp_directory_path() / ("tessora_faults_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class InDirectory {
 public:
  explicit InDirectory(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~InDirectory() { fs::current_path(old_); }

 private:
  fs::path old_;
};

int pdf_pages(const fs::path& path) {
  const std::string pdf = slurp(path);
  int pages = 0;
  for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1)) {
    if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
  }
  return pages;
}

// Presses the dialog's default button (Print, Save) as the user would.
void press_default(QDialog* dialog) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->isDefault() && b->isEnabled()) {
      b->click();
      return;
    }
  }
  dialog->accept();
}

// ---- Printing with every default of the print dialog ---------------------------

TEST(WindowFaults, PrintWithTheDialogDefaultsWritesAFileHere) {
  Watchdog watchdog;
  const fs::path dir = scratch("print_defaults");
  InDirectory here(dir);
  WindowSession s;
  s.show();
  QPrinter probe(QPrinter::HighResolution);
  if (probe.outputFormat() != QPrinter::PdfFormat) GTEST_SKIP() << "a system printer is the default here";
  probe.setOutputFormat(QPrinter::PdfFormat);
  const std::size_t per_page = s.dialogs().lines_per_page(probe);
  for (std::size_t i = 0; i < 2 * per_page + 5; ++i) s.window().write_piece("line " + std::to_string(i + 1));

  UserDriver user(s);
  std::vector<std::string> complaints;
  int print_dialogs = 0;
  user.on_modal = [&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      complaints.push_back(box->text().toStdString());
      UserDriver::press(box, QMessageBox::Ok);
    } else if (auto* dialog = qobject_cast<QPrintDialog*>(modal)) {
      // A second showing means the first Print was refused: give up.
      if (++print_dialogs > 1) return dialog->reject();
      press_default(dialog);
    }
  };
  s.frame().command_action(command::kPrint)->trigger();
  EXPECT_EQ(print_dialogs, 1);
  EXPECT_TRUE(complaints.empty()) << complaints.front();
  EXPECT_EQ(pdf_pages(dir / "Input-Output.pdf"), 3);
  EXPECT_TRUE(s.frame().isEnabled());
}

// ---- A save that fails while the window closes ---------------------------------

// The program: one line, then the stop; the user saves and closes as scripted.
int one_line_program(Hooks& hooks) {
  hooks.write_piece(" A LINE WORTH KEEPING\r\n", Stream::output);
  for (const char* piece : {" STOP ", " ", "\n"}) hooks.write_piece(piece, Stream::error);
  return hooks.end_of_run(0);
}

TEST(WindowFaults, FailedSaveOnCloseKeepsTheWindowUntilAGoodName) {
  Watchdog watchdog;
  const fs::path dir = scratch("failed_save");
  const std::string unwritable = "/proc/tessora-no-such-file.txt";
  ASSERT_FALSE(std::ofstream(unwritable)) << "this test needs a place that cannot be written";
  WindowSession s;
  s.show();
  UserDriver user(s);
  // The names typed into the save dialogs, in turn.
  std::deque<std::string> names = {unwritable, unwritable, (dir / "kept.txt").string()};
  std::vector<std::string> warnings;
  int closes = 0;
  bool checked_between = false;
  auto close_again = [&] {
    // After the first failed close: the window, its transcript and the
    // saved flag are as they were.
    checked_between = true;
    EXPECT_TRUE(s.frame().isVisible());
    EXPECT_FALSE(s.host().closing());
    EXPECT_FALSE(s.window().saved());
    EXPECT_EQ(s.window().transcript().line(0), " A LINE WORTH KEEPING");
    EXPECT_EQ(s.frame().text_window()->windowTitle(), "Input/Output");
    ++closes;
    s.frame().command_action(command::kExit)->trigger();
  };
  user.when_ended = [&] {
    // Save As to a place that cannot be written: the caption stays.
    s.frame().command_action(command::kSaveAs)->trigger();
    EXPECT_EQ(s.frame().text_window()->windowTitle(), "Input/Output");
    EXPECT_EQ(s.frame().command_action(command::kFirstChild)->text(), "&1 Input/Output");
    EXPECT_FALSE(s.window().saved());
    ++closes;
    s.frame().command_action(command::kExit)->trigger();  // Yes, then the same place again
    if (!s.host().closing()) QTimer::singleShot(0, close_again);
  };
  user.on_modal = [&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (box->standardButtons() & QMessageBox::Yes) {
        UserDriver::press(box, QMessageBox::Yes);
      } else {
        warnings.push_back(box->text().toStdString());
        UserDriver::press(box, QMessageBox::Ok);
      }
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      ASSERT_FALSE(names.empty());
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(names.front()));
      names.pop_front();
      press_default(dialog);
    }
  };
  EXPECT_EQ(one_line_program(s.host()), 0);
  EXPECT_TRUE(checked_between);
  EXPECT_EQ(closes, 2);
  EXPECT_EQ(warnings, (std::vector<std::string>{"Cannot create file", "Cannot create file"}));
  EXPECT_EQ(slurp(dir / "kept.txt"), " A LINE WORTH KEEPING\r\n STOP \r\n \r\n\r\n");
  EXPECT_EQ(s.frame().text_window()->windowTitle(), "kept.txt");
}

// ---- A long report -----------------------------------------------------------------

TEST(WindowFaults, LongReportIsLaidOutAndPaintedInBatches) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  TextView* view = s.frame().text_view();
  QApplication::processEvents();
  const std::size_t layouts = view->layouts();
  const std::size_t paints = view->paints();
  constexpr std::size_t kLines = 100000;
  for (std::size_t i = 0; i < kLines; ++i) {
    ASSERT_TRUE(s.host().write_piece(" OBJECTS 1 AND " + std::to_string(i + 2) + " ARE INCOMPARABLE\r\n",
                                     Stream::output));
  }
  ASSERT_TRUE(s.host().statement_start());  // the run goes on: the last batch is shown
  QApplication::processEvents();
  const std::size_t batches = kLines / WindowHost::kLinesPerBatch + 1;
  EXPECT_GE(view->layouts() - layouts, 1u);
  // Once per batch; the time limit between batches may add a few on a slow
  // machine, never one per line.
  EXPECT_LE(view->layouts() - layouts, 4 * batches);
  EXPECT_LE(view->paints() - paints, 4 * batches);
  EXPECT_GE(view->paints() - paints, 1u);
  // Every line is there and the view follows the end.
  EXPECT_EQ(s.window().transcript().line_count(), kLines);
  EXPECT_EQ(s.window().transcript().line(kLines - 1), " OBJECTS 1 AND 100001 ARE INCOMPARABLE");
  EXPECT_EQ(static_cast<std::size_t>(view->verticalScrollBar()->maximum()), s.window().vertical_max());
  EXPECT_EQ(static_cast<std::size_t>(view->verticalScrollBar()->value()), s.window().first_line());
  EXPECT_GE(s.window().first_line() + s.window().rows(), kLines);
}

// ---- The Window menu's item for the text window ---------------------------------

TEST(WindowFaults, WindowMenuRestoresAMinimisedTextWindow) {
  WindowSession s;
  s.show();
  QMdiSubWindow* child = s.frame().text_window();
  const QRect before = child->geometry();
  child->showMinimized();
  ASSERT_TRUE(child->isMinimized());
  QAction* item = s.frame().command_action(command::kFirstChild);
  item->trigger();
  EXPECT_FALSE(child->isMinimized());
  EXPECT_EQ(child->geometry(), before);
  EXPECT_EQ(s.frame().mdi_area()->activeSubWindow(), child);
  EXPECT_TRUE(item->isChecked());
}

}  // namespace
}  // namespace tessora::console
