// The console hooks over the text window: output lines, reads that wait for
// Enter, the end of the run, and the window's life cycle around them (the
// save commands and the close sequence).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "window/core/shell.hpp"
#include "window/core/text_window.hpp"
#include "console/hooks.hpp"

namespace tessora::console {

class WindowHost final : public Hooks {
 public:
  WindowHost(TextWindow& window, EventPump& pump, Dialogs& dialogs);

  // ---- The hooks.
  bool write_piece(std::string_view text, Stream stream) override;
  ReadResult read_line(std::string& line, std::size_t capacity) override;
  int end_of_run(int code) override;
  bool statement_start() override;
  bool progress(double fraction) override;

  // ---- File and print commands. The file name and the caption change only
  // when a save succeeds; a failed one warns and leaves the saved flag clear.
  enum class Saved { yes, failed, cancelled };
  Saved save();     // to the current file name, or through Save As when there is none
  Saved save_as();  // ask for a name, then write
  void print();

  // A long report is shown in batches: output lines handle the window's
  // events after this many lines, or once this much time has passed since
  // they were last handled, whichever comes first.
  static constexpr std::size_t kLinesPerBatch = 512;
  static constexpr int kBatchMilliseconds = 40;

  // The close sequence. Returns true when the frame should go away; false
  // when the user cancelled (everything stays as it was).
  bool close_requested();

  bool closing() const { return closing_; }
  bool run_ended() const { return run_ended_; }
  int run_code() const { return run_code_; }
  const std::string& file_name() const { return file_name_; }
  // The text window's caption: "Input/Output", or the saved file's name.
  std::string caption() const;

  // Told about the file name changing and about the progress of a long
  // computation (a fraction from 0 to 1; below 0 when it is over).
  std::function<void()> on_caption_changed;
  std::function<void(double)> on_progress;

 private:
  Saved write_to(const std::string& name);
  void end_progress();
  bool events_due();

  TextWindow& window_;
  EventPump& pump_;
  Dialogs& dialogs_;
  std::string file_name_;
  bool closing_ = false;
  bool asking_ = false;
  bool run_ended_ = false;
  int run_code_ = 0;
  bool progress_shown_ = false;
  std::size_t lines_since_events_ = 0;
  std::chrono::steady_clock::time_point events_at_{};
};

}  // namespace tessora::console
