// window_screenshot OUT.png ANSWER...: runs the dialogue in the window with
// the given answers typed in, saves a picture of the frame once the run has
// ended, then closes the window. docs/screenshot.sh runs it on a virtual
// display.
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <cstdio>

#include "app/run.hpp"
#include "console/window/session.hpp"
#include "user_driver.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png ANSWER...\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  tessora::console::WindowSession session;
  session.show();

  tessora::console::testing::UserDriver user(session);
  for (int i = 2; i < argc; ++i) user.answers.emplace_back(argv[i]);
  bool saved = false;
  user.when_ended = [&] {
    QApplication::processEvents();
    saved = session.frame().grab().save(out, "PNG");
    session.frame().close();
  };
  user.on_modal = [](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) tessora::console::testing::UserDriver::press(box, QMessageBox::No);
  };
  const int code = tessora::app::run_program(session.host());
  if (!saved) {
    std::fprintf(stderr, "%s: could not save %s\n", argv[0], argv[1]);
    return 1;
  }
  return code;
}
