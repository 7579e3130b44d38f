// The core's event pump over the Qt event loop. The dialogue runs on the GUI
// thread; the hooks come here to let the window breathe.
#pragma once

#include <vector>

#include "window/core/shell.hpp"

class QEventLoop;

namespace tessora::console {

class QtEventPump final : public EventPump {
 public:
  void process_pending() override;
  void wait_until(const std::function<bool()>& done) override;
  void wake() override;

 private:
  struct Wait {
    QEventLoop* loop;
    const std::function<bool()>* done;
  };
  std::vector<Wait*> waits_;
};

}  // namespace tessora::console
