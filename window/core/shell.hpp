// What the desktop shell lends the platform-free core: its event loop and its
// dialogs. Unit tests supply scripted versions of both.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "window/core/printing.hpp"

namespace tessora::console {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Handles every event that is pending and returns at once.
  virtual void process_pending() = 0;
  // Handles events until `done` holds; `done` is checked again after wake().
  virtual void wait_until(const std::function<bool()>& done) = 0;
  // Something that a waiting condition reads has changed.
  virtual void wake() = 0;
};

// The answers of a Yes/No/Cancel box.
enum class Answer { yes, no, cancel };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The save dialog; nothing when the user cancels.
  virtual std::optional<std::string> ask_file_name() = 0;
  // A warning box with Yes, No and Cancel.
  virtual Answer ask(std::string_view question) = 0;
  // A warning box with one button.
  virtual void warn(std::string_view message) = 0;
  // The print dialog; null when the user cancels. The target shows the
  // "Printing..." box while it lives.
  virtual std::unique_ptr<PrintTarget> ask_printer() = 0;
};

}  // namespace tessora::console
