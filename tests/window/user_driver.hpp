// Plays the user of a window under test: types answers when a read waits,
// answers modal dialogs, and acts once the run has ended. It works from a
// timer, so it keeps acting inside the nested event loops of the hooks.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "window/qt/session.hpp"
#include "window/qt/text_view.hpp"

namespace tessora::console::testing {

class UserDriver {
 public:
  explicit UserDriver(WindowSession& session) : session_(session) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start(5);
  }

  // Typed one per waiting read, each followed by Enter.
  std::deque<std::string> answers;
  // Runs once when a read waits and no answer is left.
  std::function<void()> when_answers_run_out;
  // Runs once when the run has ended and the window waits to be closed.
  std::function<void()> when_ended;
  // Called while a modal dialog is up (message box, file dialog, About box).
  std::function<void(QWidget*)> on_modal;

  // Transcript indices of the lines typed as answers.
  std::vector<std::size_t> typed_lines;
  // The texts of the message boxes seen, with their captions.
  std::vector<std::string> boxes_seen;

  void type_line(const std::string& text) {
    TextView* view = session_.frame().text_view();
    QTest::keyClicks(view, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    QTest::keyClick(view, Qt::Key_Return);
    typed_lines.push_back(session_.window().transcript().line_count() - 1);
  }

  // Clicks the button with `role` on a message box.
  static void press(QMessageBox* box, QMessageBox::StandardButton button) {
    if (QAbstractButton* b = box->button(button)) b->click();
  }

 private:
  // Actions that open a modal dialog run after the tick returns: a timer does
  // not fire again while its own handler is still running.
  static void later(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

  void tick() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      if (modal == last_modal_) return;  // already being answered
      last_modal_ = modal;
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes_seen.push_back(box->windowTitle().toStdString() + ": " + box->text().toStdString());
      }
      if (on_modal) {
        later([this, modal] {
          if (QApplication::activeModalWidget() == modal) on_modal(modal);
        });
      }
      return;
    }
    last_modal_ = nullptr;
    if (session_.window().input_wanted()) {
      if (!answers.empty()) {
        const std::string answer = answers.front();
        answers.pop_front();
        type_line(answer);
      } else if (when_answers_run_out) {
        later(std::exchange(when_answers_run_out, nullptr));
      }
      return;
    }
    if (session_.host().run_ended() && when_ended) later(std::exchange(when_ended, nullptr));
  }

  WindowSession& session_;
  QTimer timer_;
  QPointer<QWidget> last_modal_;  // null again once that dialog is gone
};

}  // namespace tessora::console::testing
