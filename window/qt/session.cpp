#include "window/qt/session.hpp"

#include <QApplication>
#include <QByteArray>
#include <QMdiSubWindow>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "window/qt/text_view.hpp"

namespace tessora::console {

WindowSession::WindowSession(std::unique_ptr<TextWindow> window, std::unique_ptr<WindowDialogs> dialogs)
    : window_(window ? std::move(window) : std::make_unique<TextWindow>()),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<WindowDialogs>()) {
  frame_ = std::make_unique<MainFrame>(*window_);
  dialogs_->set_parent(frame_.get());
  dialogs_->set_print_font(frame_->text_view()->text_font());
  host_ = std::make_unique<WindowHost>(*window_, pump_, *dialogs_);
  frame_->attach(*host_);
}

WindowSession::~WindowSession() = default;

void WindowSession::show() {
  frame_->show();
  frame_->text_view()->setFocus();
}

void WindowSession::show_matrix(MatrixData data) {
  frame_->show_matrix(std::make_shared<const MatrixData>(std::move(data)));
}

namespace {

std::string program_name(const char* argv0) {
  std::string name = argv0 ? argv0 : "tessora-window";
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Whether a display can be had at all; an explicit platform is left to try.
bool display_expected() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
#if defined(__APPLE__) || defined(_WIN32)
  return true;
#else
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
#endif
}

// While the window is being made, the toolkit's complaints are held back; a
// fatal one (no platform could be opened) ends the process with code 6 and
// one line on standard error.
std::string g_program;
QtMessageHandler g_previous = nullptr;
std::vector<std::pair<QtMsgType, QString>> g_held;

void startup_messages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s: cannot create the window: no usable display\n", g_program.c_str());
    std::fflush(stderr);
    std::_Exit(kNoWindowExit);
  }
  (void)context;
  g_held.emplace_back(type, message);
}

}  // namespace

int run_window(int& argc, char** argv, const std::function<int(Hooks&)>& program) {
  return run_window(argc, argv, [&program](WindowSession& session) { return program(session.host()); });
}

int run_window(int& argc, char** argv, const std::function<int(WindowSession&)>& program) {
  g_program = program_name(argc > 0 ? argv[0] : nullptr);
  if (!display_expected()) {
    std::fprintf(stderr, "%s: cannot create the window: no display\n", g_program.c_str());
    return kNoWindowExit;
  }

  // The transcript store comes first: without it, no window and code 0.
  std::unique_ptr<TextWindow> window;
  try {
    window = std::make_unique<TextWindow>();
  } catch (const std::bad_alloc&) {
    return kNoStoreExit;
  }

  g_previous = qInstallMessageHandler(startup_messages);
  QApplication app(argc, argv);
  // The run ends the process, not the last window.
  app.setQuitOnLastWindowClosed(false);
  std::unique_ptr<WindowSession> session;
  try {
    session = std::make_unique<WindowSession>(std::move(window));
    session->show();
  } catch (const std::exception&) {
    std::fprintf(stderr, "%s: cannot create the window\n", g_program.c_str());
    return kNoWindowExit;
  }
  qInstallMessageHandler(g_previous);
  for (const auto& [type, message] : g_held) {
    if (type == QtDebugMsg || type == QtInfoMsg) {
      qInfo("%s", qPrintable(message));
    } else {
      qWarning("%s", qPrintable(message));
    }
  }
  g_held.clear();

  return program(*session);
}

}  // namespace tessora::console
