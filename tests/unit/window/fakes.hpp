// Scripted stand-ins for the shell: an event pump that runs queued user
// actions, dialogs with canned answers and a clipboard in memory.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "window/core/shell.hpp"
#include "window/core/text_window.hpp"

namespace tessora::console::testing {

// Runs one queued action per event while a wait needs events; process_pending
// runs those queued as pending (events that had already arrived).
class ScriptedPump final : public EventPump {
 public:
  void then(std::function<void()> action) { script_.push_back(std::move(action)); }
  void pending(std::function<void()> action) { pending_.push_back(std::move(action)); }

  void process_pending() override {
    ++processed;
    while (!pending_.empty()) {
      auto action = std::move(pending_.front());
      pending_.pop_front();
      action();
    }
  }
  void wait_until(const std::function<bool()>& done) override {
    while (!done()) {
      if (script_.empty()) throw std::logic_error("a wait ran out of scripted events");
      auto action = std::move(script_.front());
      script_.pop_front();
      action();
    }
  }
  void wake() override { ++wakes; }

  int processed = 0;
  int wakes = 0;

 private:
  std::deque<std::function<void()>> script_;
  std::deque<std::function<void()>> pending_;
};

class CannedDialogs final : public Dialogs {
 public:
  std::optional<std::string> ask_file_name() override {
    ++file_dialogs;
    return file_name;
  }
  Answer ask(std::string_view question) override {
    questions.emplace_back(question);
    return answer;
  }
  void warn(std::string_view message) override { warnings.emplace_back(message); }
  std::unique_ptr<PrintTarget> ask_printer() override { return nullptr; }

  std::optional<std::string> file_name;
  Answer answer = Answer::no;
  int file_dialogs = 0;
  std::vector<std::string> questions;
  std::vector<std::string> warnings;
};

class MemoryClipboard final : public Clipboard {
 public:
  void set_text(std::string_view text) override { contents.assign(text); }
  std::string text() override { return contents; }
  std::string contents;
};

inline void type_text(TextWindow& window, std::string_view text) {
  for (char c : text) window.type(c);
}

}  // namespace tessora::console::testing
