// The "Matrix" child window: the picture of the last run's matrix, with its
// own File menu (Export Picture...) and View menu (the order toggle, the
// whole matrix).
#pragma once

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <memory>

#include "window/core/matrix_picture.hpp"
#include "window/qt/matrix_view.hpp"

class QAction;

namespace tessora::console {

class MatrixWindow final : public QMainWindow {
  Q_OBJECT
 public:
  explicit MatrixWindow(QWidget* parent = nullptr);

  MatrixView* view() const { return view_; }
  QAction* export_action() const { return export_; }
  QAction* clustered_action() const { return clustered_; }
  QAction* whole_action() const { return whole_; }

  // Writes the picture at `size` (by default the view's size) as PNG or SVG,
  // chosen by the name's ending (.svg is SVG, anything else PNG).
  bool export_picture(const QString& path, QSize size = {});

 private:
  void ask_export();

  MatrixView* view_ = nullptr;
  QAction* export_ = nullptr;
  QAction* clustered_ = nullptr;
  QAction* whole_ = nullptr;
};

}  // namespace tessora::console
