// One desktop window over the core: the frame, the text window, the dialogs
// and the hooks, wired together; and the start-up that turns a program over
// the hooks into a process exit code.
#pragma once

#include <functional>
#include <memory>

#include "window/core/text_window.hpp"
#include "window/core/window_host.hpp"
#include "window/qt/dialogs.hpp"
#include "window/qt/event_pump.hpp"
#include "window/qt/main_frame.hpp"

namespace tessora::console {

class WindowSession {
 public:
  // Needs a QApplication. Tests pass their own dialogs (a printer that
  // writes a PDF file); by default the standard dialogs are used.
  explicit WindowSession(std::unique_ptr<TextWindow> window = nullptr,
                         std::unique_ptr<WindowDialogs> dialogs = nullptr);
  ~WindowSession();

  void show();

  TextWindow& window() { return *window_; }
  MainFrame& frame() { return *frame_; }
  WindowHost& host() { return *host_; }
  WindowDialogs& dialogs() { return *dialogs_; }

  // Shows the picture of a run's matrix (values copied from the run).
  void show_matrix(MatrixData data);

 private:
  std::unique_ptr<TextWindow> window_;
  QtEventPump pump_;
  std::unique_ptr<WindowDialogs> dialogs_;
  std::unique_ptr<MainFrame> frame_;
  std::unique_ptr<WindowHost> host_;
};

// Exit codes of the start-up itself.
inline constexpr int kNoWindowExit = 6;    // the frame or text window cannot be created
inline constexpr int kNoStoreExit = 0;     // the transcript store cannot be had

// Creates the application and the window, runs `program` over the window's
// hooks on this thread, and returns the process exit code: the program's,
// 6 when no window can be created (no display), 0 when the transcript store
// cannot be had.
int run_window(int& argc, char** argv, const std::function<int(Hooks&)>& program);
// The same, for a program that also feeds the window (the matrix picture).
int run_window(int& argc, char** argv, const std::function<int(WindowSession&)>& program);

}  // namespace tessora::console
