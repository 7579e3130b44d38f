// The frame window: the menu, the multiple-document area holding the text
// window, and a status bar for the progress of a long computation.
#pragma once

#include <QMainWindow>
#include <map>

#include "console/core/text_window.hpp"
#include "console/core/window_host.hpp"
#include "console/window/dialogs.hpp"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;

namespace tessora::console {

class TextView;

// Menu command identifiers.
namespace command {
inline constexpr int kSave = 500, kSaveAs = 501, kPrint = 510, kAbout = 520, kExit = 530;
inline constexpr int kUndo = 600, kCut = 610, kCopy = 611, kPaste = 612, kDelete = 613;
inline constexpr int kTile = 700, kCascade = 701, kArrangeIcons = 702;
inline constexpr int kFirstChild = 100;
}  // namespace command

class MainFrame final : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainFrame(TextWindow& window, QWidget* parent = nullptr);
  ~MainFrame() override;

  // Connects the commands to the host; until then the frame closes freely.
  void attach(WindowHost& host);

  TextView* text_view() const { return view_; }
  QMdiArea* mdi_area() const { return mdi_; }
  QMdiSubWindow* text_window() const { return child_; }
  QProgressBar* progress_bar() const { return progress_; }
  // The menu item with a command identifier, or null.
  QAction* command_action(int id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build_menus();
  void update_edit_commands();
  void show_progress(double fraction);
  void arrange_icons();
  void show_about();
  void caption_changed();

  TextWindow& window_;
  WindowHost* host_ = nullptr;
  QtClipboard clipboard_;
  QMdiArea* mdi_ = nullptr;
  QMdiSubWindow* child_ = nullptr;
  TextView* view_ = nullptr;
  QProgressBar* progress_ = nullptr;
  std::map<int, QAction*> actions_;
};

}  // namespace tessora::console
