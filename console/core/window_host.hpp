// The console hooks over the text window: output lines, reads that wait for
// Enter, the end of the run, and the window's life cycle around them (the
// save commands and the close sequence).
#pragma once

#include <functional>
#include <string>

#include "console/core/shell.hpp"
#include "console/core/text_window.hpp"
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

  // ---- File and print commands.
  void save();     // to the current file name, or through Save As when there is none
  void save_as();  // ask for a name, then write
  void print();

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
  void write_to(const std::string& name);
  void end_progress();

  TextWindow& window_;
  EventPump& pump_;
  Dialogs& dialogs_;
  std::string file_name_;
  bool closing_ = false;
  bool asking_ = false;
  bool run_ended_ = false;
  int run_code_ = 0;
  bool progress_shown_ = false;
};

}  // namespace tessora::console
