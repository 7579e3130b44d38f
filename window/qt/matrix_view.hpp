// The resemblance matrix as a picture: one shaded cell per pair, labels by
// object number, a legend, and in clustered order the dendrogram beside the
// rows. The wheel zooms about the pointer, dragging pans, hovering tells
// the pair under the pointer.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "window/core/clustering.hpp"
#include "window/core/matrix_picture.hpp"
#include "window/core/picture_layout.hpp"

namespace tessora::console {

class MatrixView final : public QWidget {
  Q_OBJECT
 public:
  explicit MatrixView(QWidget* parent = nullptr);
  ~MatrixView() override;

  // A new matrix: shown whole, in the data's order.
  void set_data(std::shared_ptr<const MatrixData> data);
  const MatrixData* data() const { return data_.get(); }

  // The order toggle. Clustering runs on a thread of its own the first time;
  // the picture switches once it is done.
  void set_clustered(bool on);
  bool clustered() const { return clustered_ && have_clusters_; }
  bool clustering_wanted() const { return clustered_; }
  // Waits for a clustering under way (tests, exports); false when none ended.
  bool wait_for_clustering();
  const std::vector<Merge>& merges() const { return merges_; }
  // The objects from top to bottom (and left to right) as shown.
  const std::vector<std::size_t>& order() const { return clustered() ? cluster_order_ : data_order_; }

  // Back to the whole matrix.
  void show_whole();
  // Zooms by `factor` about a point of the widget.
  void zoom(double factor, QPointF about);
  // Pans by a distance in pixels.
  void pan(QPointF by);

  // Where the parts of a picture of `size` lie.
  struct Layout {
    QRect cells, row_labels, column_labels, dendrogram, legend;
    bool legend_below = false;
    int text_height = 0;
  };
  Layout layout_for(QSize size) const;
  // Where the cells lie in a picture of `size`.
  QRect cell_area(QSize size) const;
  QRect cell_area() const { return cell_area(size()); }
  // The size, within `available`, whose cells fill it with nothing to spare.
  QSize fitting_size(QSize available) const;
  // Where the object numbers of a picture of `size` are drawn.
  std::vector<QRectF> label_boxes(QSize size) const;
  // The pair of objects under a point of the widget, counted from 0.
  std::optional<std::pair<std::size_t, std::size_t>> pair_at(QPointF point) const;
  // The status bar's text for a pair.
  QString describe(std::size_t row, std::size_t column) const;

  // Draws the whole picture into `size` (the view's own size, or another
  // for an export: the same stretch of the matrix, fitted).
  void render(QPainter& painter, QSize size) const;
  // How many times the cells were computed for the view.
  std::size_t cell_renders() const { return cell_renders_; }

 signals:
  void hovered(const QString& text);
  void order_changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct Window {
    double first_x = 0, first_y = 0;  // display positions at the cell area's left and top
    double scale = 1;                 // pixels per object
  };
  struct Label {
    QRectF box;
    QString text;
    bool along_top = false;  // drawn upwards
  };
  PictureParts parts() const;
  std::vector<Label> labels(const Layout& l, const Window& w) const;
  Window window_for(QSize size) const;
  void draw_legend(QPainter& p, const Layout& l) const;
  double fit_scale(QSize size) const;
  void clamp_window();
  void relayout();
  QImage cells(const QRect& area, const Window& w) const;
  void draw(QPainter& p, const Layout& l, const Window& w, const QImage& cell_image) const;
  void finish_clustering();
  void stop_clustering();

  std::shared_ptr<const MatrixData> data_;
  ValueRange range_;
  std::vector<std::size_t> data_order_;
  std::vector<std::size_t> cluster_order_;
  std::vector<Merge> merges_;
  bool clustered_ = false;
  bool have_clusters_ = false;

  Window window_;
  bool fitted_ = true;
  QImage cache_;
  bool cache_valid_ = false;
  mutable std::size_t cell_renders_ = 0;
  std::optional<QPointF> drag_from_;

  // The clustering thread and what it hands over.
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> worker_done_{false};
  std::mutex result_mutex_;
  std::vector<Merge> result_merges_;
  std::vector<std::size_t> result_order_;
  bool result_failed_ = false;
  QTimer poll_;
};

}  // namespace tessora::console
