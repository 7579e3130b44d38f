// window_screenshot [--matrix] OUT.png ANSWER...: runs the dialogue in the
// window with the given answers typed in, saves a picture of the frame once
// the run has ended, then closes the window. With --matrix the run also
// gives its Matrix window, in clustered order. docs/screenshot.sh runs it
// on a virtual display.
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "dialogue/datafile.hpp"
#include "dialogue/dialogue.hpp"
#include "tessora/table.hpp"
#include "app/run.hpp"
#include "window/qt/matrix_window.hpp"
#include "window/qt/run_values.hpp"
#include "window/qt/session.hpp"
#include "user_driver.hpp"

int main(int argc, char** argv) {
  int first = 1;
  const bool matrix = argc > 1 && std::strcmp(argv[1], "--matrix") == 0;
  if (matrix) ++first;
  if (argc <= first) {
    std::fprintf(stderr, "usage: %s [--matrix] OUT.png ANSWER...\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[first]);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  tessora::console::WindowSession session;
  session.show();

  tessora::console::testing::UserDriver user(session);
  for (int i = first + 1; i < argc; ++i) user.answers.emplace_back(argv[i]);
  bool saved = false;
  user.when_ended = [&] {
    if (auto* m = session.frame().matrix()) {
      m->clustered_action()->setChecked(true);
      m->view()->wait_for_clustering();
    }
    QApplication::processEvents();
    saved = session.frame().grab().save(out, "PNG");
    session.frame().close();
  };
  user.on_modal = [](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) tessora::console::testing::UserDriver::press(box, QMessageBox::No);
  };
  tessora::dialogue::DialogueOptions options;
  if (matrix) {
    options.matrix_written = [&session](const tessora::dialogue::DialogueOptions::MatrixWritten& w) {
      session.show_matrix(
          tessora::console::copy_run_values(w, tessora::Missing::value(tessora::dialogue::kMissing)));
    };
  }
  const int code = tessora::app::run_program(session.host(), options);
  if (!saved) {
    std::fprintf(stderr, "%s: could not save %s\n", argv[0], argv[first]);
    return 1;
  }
  return code;
}
