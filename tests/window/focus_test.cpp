// The keyboard after a menu: Escape closes a menu opened with the mouse,
// and the keys go back to the answer line, whichever menu bar it was (the
// frame's or the Matrix window's). Runs on a real X server (Xvfb): only a
// window system keeps the frame active while a menu comes and goes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <string>

#include "window/qt/main_frame.hpp"
#include "window/qt/matrix_window.hpp"
#include "window/qt/session.hpp"
#include "window/qt/text_view.hpp"
#include "qt_environment.hpp"
#include "test_matrices.hpp"

namespace tessora::console {
namespace {

using testing::Watchdog;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

struct MenuCase {
  const char* name;
  bool matrix;  // the Matrix window's menu bar, not the frame's
  int menu;
};

class EscapeFromMenu : public ::testing::TestWithParam<MenuCase> {};

TEST_P(EscapeFromMenu, GivesTheKeysBackToTheAnswerLine) {
  Watchdog watchdog;
  const MenuCase& c = GetParam();
  WindowSession s;
  s.show();
  if (c.matrix) s.show_matrix(testing::grouped_points(8));
  s.frame().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&s.frame()));
  ASSERT_EQ(QApplication::focusWidget(), s.frame().text_view());
  s.window().want_input();

  QMenuBar* bar = c.matrix ? s.frame().matrix()->menuBar() : s.frame().menuBar();
  QAction* top = bar->actions()[c.menu];
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
  ASSERT_EQ(QApplication::activePopupWidget(), top->menu());
  QTest::keyClick(top->menu(), Qt::Key_Escape);
  QTest::qWait(20);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  ASSERT_EQ(QApplication::focusWidget(), s.frame().text_view());

  // What is typed now is the answer, and Enter ends the read instead of
  // opening the menu again.
  QTest::keyClicks(QApplication::focusWidget(), "7");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QTest::qWait(20);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  EXPECT_FALSE(s.window().input_wanted());
  EXPECT_EQ(s.window().entered_line(), "7");
}

INSTANTIATE_TEST_SUITE_P(Menus, EscapeFromMenu,
                         ::testing::Values(MenuCase{"File", false, 0}, MenuCase{"Edit", false, 1},
                                           MenuCase{"Window", false, 2}, MenuCase{"MatrixFile", true, 0},
                                           MenuCase{"MatrixView", true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Moving from one menu to the next with the arrow keys keeps the menus
// open: the keyboard stays with them until the last one closes.
TEST(EscapeFromMenu, ArrowKeysStillWalkTheMenus) {
  Watchdog watchdog;
  WindowSession s;
  s.show();
  s.frame().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&s.frame()));
  QMenuBar* bar = s.frame().menuBar();
  QAction* file = bar->actions()[0];
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file).center());
  ASSERT_EQ(QApplication::activePopupWidget(), file->menu());
  QTest::keyClick(file->menu(), Qt::Key_Right);
  QTest::qWait(20);
  EXPECT_EQ(QApplication::activePopupWidget(), bar->actions()[1]->menu());
  if (QWidget* open = QApplication::activePopupWidget()) QTest::keyClick(open, Qt::Key_Escape);
  QTest::qWait(20);
  EXPECT_EQ(QApplication::focusWidget(), s.frame().text_view());
}

}  // namespace
}  // namespace tessora::console
