// The frame window: the menu, the multiple-document area holding the text
// window, and a status bar for the progress of a long computation.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>

#include "window/core/matrix_picture.hpp"
#include "window/core/text_window.hpp"
#include "window/core/window_host.hpp"
#include "window/qt/dialogs.hpp"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenuBar;
class QProgressBar;
class QStyle;

namespace tessora::console {

class TextView;
class MatrixWindow;

// Menu command identifiers.
namespace command {
inline constexpr int kSave = 500, kSaveAs = 501, kPrint = 510, kAbout = 520, kExit = 530;
inline constexpr int kUndo = 600, kCut = 610, kCopy = 611, kPaste = 612, kDelete = 613;
inline constexpr int kTile = 700, kCascade = 701, kArrangeIcons = 702;
inline constexpr int kFirstChild = 100;
inline constexpr int kMatrixChild = 101;  // once a run has given a matrix
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
  // The picture of a run's matrix in the "Matrix" child window, made the
  // first time and reopened by Window > 2 Matrix. It goes beside the text
  // window, the frame growing for it as far as the screen lets it, or one
  // step down and right of the text window when there is no room beside.
  void show_matrix(std::shared_ptr<const MatrixData> data);
  QMdiSubWindow* matrix_window() const { return matrix_child_; }
  MatrixWindow* matrix() const { return matrix_; }
  void reopen_matrix();

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
  void place_matrix_window();
  // Moves the frame, `frame` large, into the screen's free area.
  void keep_on_screen(QSize frame);
  // After a menu closed by Escape the menu bar holds the keyboard; the
  // answer line takes it back.
  void watch_menus(QMenuBar* bar);
  void after_menu();

  TextWindow& window_;
  WindowHost* host_ = nullptr;
  QtClipboard clipboard_;
  QMdiArea* mdi_ = nullptr;
  QMdiSubWindow* child_ = nullptr;
  TextView* view_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMdiSubWindow* matrix_child_ = nullptr;
  MatrixWindow* matrix_ = nullptr;
  QMenu* window_menu_ = nullptr;
  QStyle* text_window_style_ = nullptr;
  std::map<int, QAction*> actions_;
};

}  // namespace tessora::console
