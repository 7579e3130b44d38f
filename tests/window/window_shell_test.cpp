// The desktop shell with small scripted programs over the hooks: menus,
// keys, mouse selection and clipboard, the close sequence and its exit
// codes, saving, printing to PDF, the About box and the progress bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "window/core/texts.hpp"
#include "window/qt/about_box.hpp"
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

std::filesystem::path scratch(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("tessora_window_" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A program that asks once and echoes the answer, then ends with `code`.
int echo_program(Hooks& hooks, int code, std::string* got = nullptr) {
  if (!hooks.write_piece(" ENTER SOMETHING\r\n", Stream::output)) return 0;
  std::string line;
  if (hooks.read_line(line, 254) != ReadResult::line) return 0;
  if (got) *got = line;
  if (!hooks.write_piece(" GOT " + line + "\r\n", Stream::output)) return 0;
  for (const char* piece : {" STOP ", " ", "\n"}) hooks.write_piece(piece, Stream::error);
  return hooks.end_of_run(code);
}

// Answers the save question with `button` and checks its words.
std::function<void(QWidget*)> answer_save_question(QMessageBox::StandardButton button) {
  return [button](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "TOLA");
    EXPECT_EQ(box->text(), "Save the Input/Output window?");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    UserDriver::press(box, button);
  };
}

// ---- Frame, text window and menu ---------------------------------------------

TEST(WindowFrame, NamesCaptionsAndPlaces) {
  WindowSession s;
  s.show();
  MainFrame& f = s.frame();
  EXPECT_EQ(f.objectName(), "MDIFRAME");
  EXPECT_EQ(f.windowTitle(), QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  EXPECT_EQ(f.mdi_area()->objectName(), "MDICLIENT");
  EXPECT_EQ(f.text_window()->objectName(), "MDICHILD");
  EXPECT_EQ(f.menuBar()->objectName(), "MainMenu");
  EXPECT_NE(f.findChild<QObject*>("MDIAccel"), nullptr);
  EXPECT_EQ(f.text_window()->windowTitle(), "Input/Output");
  EXPECT_EQ(f.text_window()->geometry(), QRect(15, 15, 600, 300));
  EXPECT_FALSE(f.windowIcon().isNull());
  EXPECT_EQ(f.text_view()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(f.text_view()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(f.text_view()->text_font().fixedPitch());
}

TEST(WindowFrame, TextWindowCannotBeClosedAlone) {
  WindowSession s;
  s.show();
  EXPECT_FALSE(s.frame().text_window()->close());
  EXPECT_TRUE(s.frame().text_window()->isVisible());
  EXPECT_FALSE(s.frame().text_window()->windowFlags() & Qt::WindowCloseButtonHint);
}

// The spread of brightness within a button of a child window's title bar:
// an X or a bar drawn over its face, or little when it is greyed.
int button_contrast(QMdiSubWindow* child, QStyle::SubControl button) {
  QStyleOptionTitleBar bar;
  bar.initFrom(child);
  bar.subControls = QStyle::SC_All;
  bar.titleBarFlags = child->windowFlags();
  bar.titleBarState = static_cast<int>(child->windowState());
  const int border = 4;
  bar.rect = QRect(border, border, child->width() - 2 * border,
                   child->style()->pixelMetric(QStyle::PM_TitleBarHeight, &bar, child) - border);
  const QRect area = child->style()->subControlRect(QStyle::CC_TitleBar, &bar, button, child).adjusted(2, 2, -2, -2);
  const QImage image = child->grab().toImage();
  int low = 255, high = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      low = std::min(low, qGray(image.pixel(x, y)));
      high = std::max(high, qGray(image.pixel(x, y)));
    }
  }
  return high - low;
}

TEST(WindowFrame, TextWindowCloseButtonIsGreyedActiveOrNot) {
  WindowSession s;
  s.show();
  QMdiSubWindow* child = s.frame().text_window();
  for (const bool active : {true, false}) {
    s.frame().mdi_area()->setActiveSubWindow(active ? child : nullptr);
    QApplication::processEvents();
    const int close = button_contrast(child, QStyle::SC_TitleBarCloseButton);
    const int minimise = button_contrast(child, QStyle::SC_TitleBarMinButton);
    EXPECT_GT(minimise, 80) << active;
    EXPECT_LT(close * 2, minimise) << active << ": close " << close << ", minimise " << minimise;
  }
  // Its system menu says the same.
  bool greyed = false;
  for (QAction* a : child->systemMenu()->actions()) {
    if (a->text().contains("Close")) greyed = !a->isEnabled();
  }
  EXPECT_TRUE(greyed);
}

struct MenuItem {
  int id;
  const char* menu;
  const char* text;
  bool enabled;
  const char* keys;
};

class MenuTable : public ::testing::TestWithParam<MenuItem> {};

TEST_P(MenuTable, ItemsAsTheTableHasThem) {
  WindowSession s;
  const MenuItem& item = GetParam();
  QAction* a = s.frame().command_action(item.id);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->text(), item.text);
  EXPECT_EQ(a->isEnabled(), item.enabled);
  EXPECT_EQ(a->data().toInt(), item.id);
  EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(item.keys)));
  bool found = false;
  for (QAction* top : s.frame().menuBar()->actions()) {
    if (top->text() == item.menu && top->menu()) found = top->menu()->actions().contains(a);
  }
  EXPECT_TRUE(found) << "in " << item.menu;
}

INSTANTIATE_TEST_SUITE_P(Items, MenuTable,
                         ::testing::Values(MenuItem{500, "&File", "&Save", true, ""},
                                           MenuItem{501, "&File", "Save As...", true, ""},
                                           MenuItem{510, "&File", "Print...", true, ""},
                                           MenuItem{520, "&File", "&About...", true, ""},
                                           MenuItem{530, "&File", "E&xit", true, ""},
                                           MenuItem{600, "&Edit", "&Undo\tCtrl+Z", false, "Ctrl+Z"},
                                           MenuItem{610, "&Edit", "Cu&t\tCtrl+X", false, "Ctrl+X"},
                                           MenuItem{611, "&Edit", "&Copy\tCtrl+C", false, "Ctrl+C"},
                                           MenuItem{612, "&Edit", "&Paste\tCtrl+V", false, "Ctrl+V"},
                                           MenuItem{613, "&Edit", "De&lete", false, ""},
                                           MenuItem{701, "&Window", "&Cascade\tShift+F5", true, "Shift+F5"},
                                           MenuItem{700, "&Window", "&Tile\tShift+F4", true, "Shift+F4"},
                                           MenuItem{702, "&Window", "&Arrange Icons", true, ""},
                                           MenuItem{100, "&Window", "&1 Input/Output", true, ""}));

TEST(WindowMenu, SeparatorsStandWhereTheTableHasThem) {
  WindowSession s;
  auto layout = [&](int index) {
    std::string out;
    for (QAction* a : s.frame().menuBar()->actions()[index]->menu()->actions()) {
      out += a->isSeparator() ? "-" : std::to_string(a->data().toInt());
      out += ' ';
    }
    return out;
  };
  ASSERT_EQ(s.frame().menuBar()->actions().size(), 3);
  EXPECT_EQ(layout(0), "500 501 - 510 - 520 - 530 ");
  EXPECT_EQ(layout(1), "600 - 610 611 612 613 ");
  EXPECT_EQ(layout(2), "701 700 702 - 100 ");
}

TEST(WindowMenu, WindowCommandsArrangeTheTextWindow) {
  WindowSession s;
  s.show();
  QMdiSubWindow* child = s.frame().text_window();
  s.frame().command_action(command::kTile)->trigger();
  EXPECT_EQ(child->geometry(), s.frame().mdi_area()->viewport()->rect());
  s.frame().command_action(command::kCascade)->trigger();
  EXPECT_EQ(child->pos(), QPoint(0, 0));
  child->showMinimized();
  s.frame().command_action(command::kArrangeIcons)->trigger();
  EXPECT_EQ(child->geometry().bottom(), s.frame().mdi_area()->viewport()->rect().bottom());
  EXPECT_EQ(child->x(), 0);
}

// ---- Keys and reads -------------------------------------------------------------

TEST(WindowInput, KeysEditTheLineBeforeEnter) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  TextView* view = s.frame().text_view();
  user.when_answers_run_out = [&] {
    QTest::keyClicks(view, "abc");
    QTest::keyClick(view, Qt::Key_Backspace);   // ab
    QTest::keyClick(view, Qt::Key_Tab);         // ab + 6 blanks
    QTest::keyClicks(view, "x");                // column 9
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Delete);      // the last blank goes
    QTest::keyClick(view, Qt::Key_Insert);      // and comes back
    QTest::keyClick(view, Qt::Key_Home);        // view keys leave the line alone
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);       // stops at the end
    QTest::keyClicks(view, "y");
    QTest::keyClick(view, Qt::Key_Enter);
  };
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = answer_save_question(QMessageBox::No);
  std::string got;
  echo_program(s.host(), 0, &got);
  EXPECT_EQ(got, "ab      xy");
}

TEST(WindowInput, GreyedAcceleratorsTypeNothing) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.when_answers_run_out = [&] {
    TextView* view = s.frame().text_view();
    QTest::keyClicks(view, "1");
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Return);
  };
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = answer_save_question(QMessageBox::No);
  std::string got;
  echo_program(s.host(), 0, &got);
  EXPECT_EQ(got, "1");
}

// ---- Mouse selection and clipboard ----------------------------------------

void mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButtons held) {
  QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

TEST(WindowEdit, DragCopyAndPasteWithCarriageReturnEndsTheRead) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  TextView* view = s.frame().text_view();
  QWidget* port = view->viewport();
  const double cw = view->char_width();
  const double lh = view->line_height();
  user.when_answers_run_out = [&] {
    // Drag over "ENTER" on the first line, then down to the next line.
    mouse(port, QEvent::MouseButtonPress, {1 * cw + 1, lh / 2}, Qt::LeftButton);
    mouse(port, QEvent::MouseMove, {1 * cw + 1, lh / 2}, Qt::LeftButton);
    mouse(port, QEvent::MouseMove, {6 * cw + 1, lh / 2}, Qt::LeftButton);
    mouse(port, QEvent::MouseMove, {9 * cw, lh * 1.5}, Qt::LeftButton);
    EXPECT_FALSE(s.frame().command_action(command::kCopy)->isEnabled());
    mouse(port, QEvent::MouseButtonRelease, {9 * cw, lh * 1.5}, Qt::NoButton);
    EXPECT_TRUE(s.frame().command_action(command::kCopy)->isEnabled());
    EXPECT_TRUE(s.frame().command_action(command::kCut)->isEnabled());
    EXPECT_TRUE(s.frame().command_action(command::kDelete)->isEnabled());
    EXPECT_FALSE(s.frame().command_action(command::kPaste)->isEnabled());
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "ENTER");
    EXPECT_TRUE(s.frame().command_action(command::kPaste)->isEnabled());
    QGuiApplication::clipboard()->setText("12\r34");
    s.frame().command_action(command::kPaste)->trigger();
  };
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = answer_save_question(QMessageBox::No);
  std::string got;
  echo_program(s.host(), 0, &got);
  EXPECT_EQ(got, "12");
  EXPECT_EQ(s.window().transcript().line(2), "34");  // typed on after the read had its line
}

// ---- Close sequence and exit codes -------------------------------------------

TEST(WindowClose, CloseWhileAReadWaitsEndsTheRunWithZero) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.when_answers_run_out = [&] { s.frame().close(); };
  user.on_modal = answer_save_question(QMessageBox::No);
  EXPECT_EQ(echo_program(s.host(), -1), 0);
  EXPECT_TRUE(s.host().closing());
  EXPECT_FALSE(s.frame().isVisible());
}

TEST(WindowClose, ExitAfterAnErrorReportGives255) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers = {"x"};
  user.when_ended = [&] { s.frame().command_action(command::kExit)->trigger(); };
  user.on_modal = answer_save_question(QMessageBox::No);
  EXPECT_EQ(echo_program(s.host(), -1), 255);
}

TEST(WindowClose, CancelKeepsTheWindowUntilTheNextClose) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers = {"x"};
  int questions = 0;
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = [&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    if (++questions == 1) {
      UserDriver::press(box, QMessageBox::Cancel);
      QTimer::singleShot(0, [&] {
        EXPECT_TRUE(s.frame().isVisible());
        EXPECT_FALSE(s.host().closing());
        s.frame().close();
      });
    } else {
      UserDriver::press(box, QMessageBox::No);
    }
  };
  EXPECT_EQ(echo_program(s.host(), 0), 0);
  EXPECT_EQ(questions, 2);
}

// ---- Saving --------------------------------------------------------------------

TEST(WindowSave, SaveAsWritesTheExactBytesAndNamesTheWindow) {
  Watchdog watchdog;
  const auto dir = scratch("save");
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers = {"12 34"};
  user.when_ended = [&] { s.frame().command_action(command::kSaveAs)->trigger(); };
  user.on_modal = [&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr) << modal->metaObject()->className();
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->nameFilters(), QStringList({"Text Files (*.txt)", "All Files (*.*)"}));
    EXPECT_EQ(dialog->defaultSuffix(), "txt");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    dialog->setDirectory(QString::fromStdString(dir.string()));
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText("run");  // typed without its extension
    static_cast<QDialog*>(dialog)->accept();  // the file dialog's own accept, as its Save button
    // Saved: the close that follows, once the dialog is gone, asks nothing.
    user.when_ended = [&] { s.frame().close(); };
  };
  EXPECT_EQ(echo_program(s.host(), 0), 0);
  EXPECT_EQ(slurp(dir / "run.txt"), " ENTER SOMETHING\r\n12 34\r\n GOT 12 34\r\n STOP \r\n \r\n\r\n");
  EXPECT_EQ(s.frame().text_window()->windowTitle(), "run.txt");
  EXPECT_EQ(s.frame().command_action(command::kFirstChild)->text(), "&1 run.txt");
  EXPECT_TRUE(user.boxes_seen.empty());
}

TEST(WindowSave, WarningBoxHasTheCaptionAndOneButton) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.on_modal = [&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    UserDriver::press(box, QMessageBox::Ok);
  };
  s.dialogs().warn("Cannot create file");
  EXPECT_EQ(user.boxes_seen, std::vector<std::string>{"TOLA: Cannot create file"});
}

// ---- Printing ---------------------------------------------------------------------

// Prints to a PDF file with a given page range instead of asking.
class PdfDialogs final : public WindowDialogs {
 public:
  PdfDialogs(std::string path, std::optional<PageRange> range, int copies = 1)
      : path_(std::move(path)), range_(range), copies_(copies) {}

 protected:
  bool choose_printer(QPrinter& printer) override {
    EXPECT_EQ(printer.fromPage(), 1);
    EXPECT_EQ(printer.toPage(), 1);
    EXPECT_EQ(printer.docName(), "TOLA Input/Output");
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path_));
    if (range_) {
      printer.setPrintRange(QPrinter::PageRange);
      printer.setFromTo(static_cast<int>(range_->first), static_cast<int>(range_->last));
    } else {
      printer.setPrintRange(QPrinter::AllPages);
    }
    printer.setCopyCount(copies_);
    return true;
  }

 private:
  std::string path_;
  std::optional<PageRange> range_;
  int copies_;
};

int pdf_pages(const std::filesystem::path& path) {
  const std::string pdf = slurp(path);
  int pages = 0;
  for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1)) {
    if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
  }
  return pages;
}

struct PrintCase {
  const char* name;
  std::optional<PageRange> range;
  int copies;
  int pages;  // for a transcript of two pages and five lines
};

class WindowPrint : public ::testing::TestWithParam<PrintCase> {};

TEST_P(WindowPrint, PageRangeGivesTheRightNumberOfPages) {
  Watchdog watchdog;
  const auto dir = scratch(std::string("print_") + GetParam().name);
  const std::string pdf = (dir / "out.pdf").string();
  WindowSession s(nullptr, std::make_unique<PdfDialogs>(pdf, GetParam().range, GetParam().copies));
  s.show();
  QPrinter probe(QPrinter::HighResolution);
  probe.setOutputFormat(QPrinter::PdfFormat);
  const std::size_t per_page = s.dialogs().lines_per_page(probe);
  ASSERT_GT(per_page, 5u);
  for (std::size_t i = 0; i < 2 * per_page + 5; ++i) s.window().write_piece("line " + std::to_string(i + 1));

  s.frame().command_action(command::kPrint)->trigger();
  EXPECT_TRUE(s.frame().isEnabled());  // enabled again after printing
  if (GetParam().pages == 0) {
    EXPECT_FALSE(std::filesystem::exists(pdf));
  } else {
    EXPECT_EQ(pdf_pages(pdf), GetParam().pages);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, WindowPrint,
                         ::testing::Values(PrintCase{"all", std::nullopt, 1, 3}, PrintCase{"two_to_two", PageRange{2, 2}, 1, 1},
                                           PrintCase{"two_to_three", PageRange{2, 3}, 1, 2},
                                           PrintCase{"three_to_9", PageRange{3, 9}, 1, 1},
                                           PrintCase{"past_the_end", PageRange{4, 5}, 1, 0},
                                           PrintCase{"two_copies", PageRange{1, 2}, 2, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- About box and progress -------------------------------------------------------

TEST(WindowAbout, ShowsTheMachineAndCloses) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  UserDriver user(s);
  bool seen = false;
  user.on_modal = [&](QWidget* modal) {
    auto* box = qobject_cast<AboutBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen = true;
    EXPECT_EQ(box->windowTitle(), "About TOLA");
    QStringList texts;
    for (QLabel* l : box->findChildren<QLabel*>()) texts << l->text();
    for (const char* t : {"TOLA Application Framework", "Page Size", "Minimum Address", "Maximum Address",
                          "Processor Type", "Number of Processors"}) {
      EXPECT_TRUE(texts.contains(t)) << t;
    }
    const SystemInfo info = system_info();
    EXPECT_EQ(box->findChild<QLabel*>("Page Size")->text(), QString::number(info.page_size));
    EXPECT_TRUE(box->findChild<QLabel*>("Minimum Address")->text().startsWith("0x"));
    auto* button = box->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Continue");
    button->click();
  };
  s.frame().command_action(command::kAbout)->trigger();
  EXPECT_TRUE(seen);
}

TEST(WindowProgress, StatusBarShowsItAndTheTranscriptDoesNot) {
  WindowSession s;
  s.show();
  QProgressBar* bar = s.frame().progress_bar();
  EXPECT_TRUE(bar->isHidden());
  EXPECT_TRUE(s.host().progress(0.25));
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->value(), 250);
  EXPECT_TRUE(s.host().statement_start());
  EXPECT_TRUE(bar->isHidden());
  EXPECT_TRUE(s.window().transcript().empty());
}

}  // namespace
}  // namespace tessora::console
