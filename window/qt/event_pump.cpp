#include "window/qt/event_pump.hpp"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace tessora::console {

void QtEventPump::process_pending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtEventPump::wait_until(const std::function<bool()>& done) {
  if (done()) return;
  QEventLoop loop;
  Wait wait{&loop, &done};
  waits_.push_back(&wait);
  // wake() ends the wait as soon as the condition holds; the slow timer only
  // guards against a change that came without one.
  QTimer recheck;
  QObject::connect(&recheck, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  recheck.start(250);
  loop.exec();
  waits_.erase(std::find(waits_.begin(), waits_.end(), &wait));
}

void QtEventPump::wake() {
  for (Wait* wait : waits_) {
    if ((*wait->done)()) wait->loop->quit();
  }
}

}  // namespace tessora::console
