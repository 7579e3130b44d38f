// The four console hooks: the only way the record layer reaches the console.
//
// A host (the plain console, the desktop window, or a scripted host in tests)
// implements them; the record layer calls them for every console record, every
// piece of a stop or error report, every console read and at the start of
// every file statement.
#pragma once

#include <string>
#include <string_view>

namespace tessora::console {

// Where a piece is headed on a stream console. A window shows both alike.
enum class Stream { output, error };

// What a console read got.
enum class ReadResult {
  line,          // a line was entered
  end_of_input,  // the input ended while a read waited (plain console)
  closed,        // the window was closed while a read waited
};

class Hooks {
 public:
  virtual ~Hooks() = default;

  // One piece of console text: a whole record with its CR LF, or one piece of
  // a report or stop (which ends with a line feed, or with nothing). Returns
  // false when the window was closed meanwhile: the run must end at once.
  virtual bool write_piece(std::string_view text, Stream stream) = 0;

  // Waits for one entered line and stores it without its line end (and with
  // every carriage return dropped), cut to at most `capacity` characters.
  virtual ReadResult read_line(std::string& line, std::size_t capacity) = 0;

  // The run has ended with `code` (0 after a stop, -1 after a report). Returns
  // the code the process exits with (a window returns once it is closed).
  virtual int end_of_run(int code) = 0;

  // Called at the start of every open, close, write and file read, so that
  // a window can handle its pending events. Returns false when the window was
  // closed meanwhile: the run must end at once.
  virtual bool statement_start() = 0;

  // Beyond the four hooks: called on the run's thread every few tens of
  // milliseconds while a long computation runs on other threads, with the
  // fraction done (0 to 1). A window shows it in its status bar, never in the
  // transcript. Returns false when the window was closed meanwhile.
  virtual bool progress(double /*fraction*/) { return true; }
};

// The process exit code for a run's code: -1 becomes 255 on POSIX.
constexpr int exit_status(int code) { return code & 0xff; }

}  // namespace tessora::console
