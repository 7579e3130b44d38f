#include "window/core/window_host.hpp"

#include <algorithm>

#include "window/core/texts.hpp"
#include "window/core/transcript_file.hpp"

namespace tessora::console {

WindowHost::WindowHost(TextWindow& window, EventPump& pump, Dialogs& dialogs)
    : window_(window), pump_(pump), dialogs_(dialogs) {
  window_.subscribe([this](unsigned what) {
    if (what & change::kInput) pump_.wake();
  });
}

// ---- Hooks ------------------------------------------------------------------

bool WindowHost::write_piece(std::string_view text, Stream /*stream*/) {
  if (closing_) return false;
  end_progress();
  window_.write_piece(text);
  if (events_due()) pump_.process_pending();
  return !closing_;
}

bool WindowHost::events_due() {
  // The first line after a pause handles events at once (a close that came
  // meanwhile is seen there); then one pass per batch of lines, so that a
  // long report is laid out and painted a batch at a time.
  const auto now = std::chrono::steady_clock::now();
  if (lines_since_events_ == 0 || ++lines_since_events_ > kLinesPerBatch ||
      now - events_at_ >= std::chrono::milliseconds(kBatchMilliseconds)) {
    lines_since_events_ = 1;
    events_at_ = now;
    return true;
  }
  return false;
}

ReadResult WindowHost::read_line(std::string& line, std::size_t capacity) {
  line.clear();
  if (closing_) return ReadResult::closed;
  end_progress();
  lines_since_events_ = 0;
  window_.want_input();
  pump_.wait_until([this] { return closing_ || !window_.input_wanted(); });
  if (closing_) return ReadResult::closed;
  const std::string& entered = window_.entered_line();
  for (char c : entered) {
    if (line.size() == capacity) break;
    if (c != '\r') line.push_back(c);
  }
  return ReadResult::line;
}

int WindowHost::end_of_run(int code) {
  end_progress();
  run_ended_ = true;
  run_code_ = code;
  // The transcript stays until the user closes the window.
  pump_.wait_until([this] { return closing_; });
  return exit_status(code);
}

bool WindowHost::statement_start() {
  if (closing_) return false;
  end_progress();
  lines_since_events_ = 0;
  pump_.process_pending();
  return !closing_;
}

bool WindowHost::progress(double fraction) {
  if (closing_) return false;
  progress_shown_ = true;
  if (on_progress) on_progress(std::clamp(fraction, 0.0, 1.0));
  pump_.process_pending();
  return !closing_;
}

void WindowHost::end_progress() {
  if (!progress_shown_) return;
  progress_shown_ = false;
  if (on_progress) on_progress(-1.0);
}

// ---- Commands -----------------------------------------------------------------

std::string WindowHost::caption() const {
  if (file_name_.empty()) return std::string(text::kTextWindowCaption);
  const std::size_t slash = file_name_.find_last_of('/');
  return slash == std::string::npos ? file_name_ : file_name_.substr(slash + 1);
}

WindowHost::Saved WindowHost::write_to(const std::string& name) {
  switch (write_transcript(window_.transcript(), name)) {
    case SaveResult::written: window_.mark_saved(); return Saved::yes;
    case SaveResult::cannot_create: dialogs_.warn(text::kCannotCreate); return Saved::failed;
    case SaveResult::write_failed:
      // Part of the transcript is missing from the file: it stays unsaved,
      // so that closing still asks.
      dialogs_.warn(text::kWriteError);
      return Saved::failed;
  }
  return Saved::failed;
}

WindowHost::Saved WindowHost::save() {
  if (file_name_.empty()) return save_as();
  return write_to(file_name_);
}

WindowHost::Saved WindowHost::save_as() {
  std::optional<std::string> name = dialogs_.ask_file_name();
  if (!name || name->empty()) return Saved::cancelled;
  const Saved result = write_to(*name);
  if (result == Saved::yes && *name != file_name_) {
    file_name_ = std::move(*name);
    if (on_caption_changed) on_caption_changed();
  }
  return result;
}

void WindowHost::print() {
  std::unique_ptr<PrintTarget> target = dialogs_.ask_printer();
  if (target) print_transcript(window_.transcript(), *target);
}

bool WindowHost::close_requested() {
  if (closing_) return true;
  if (asking_) return false;  // the question of an earlier close is still open
  if (!window_.saved()) {
    asking_ = true;
    const Answer answer = dialogs_.ask(text::kSaveQuestion);
    asking_ = false;
    if (answer == Answer::cancel) return false;
    // A cancelled Save As saves nothing, and the window closes all the same;
    // a save that failed keeps the window, as Cancel does, so that another
    // name can be chosen.
    if (answer == Answer::yes && save() == Saved::failed) return false;
  }
  closing_ = true;
  pump_.wake();
  return true;
}

}  // namespace tessora::console
