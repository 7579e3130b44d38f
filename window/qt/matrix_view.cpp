#include "window/qt/matrix_view.hpp"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>

namespace tessora::console {

namespace {

QColor qcolour(Rgb c) { return QColor(c.r, c.g, c.b); }

QString number_text(float x) {
  if (std::isnan(x)) return QStringLiteral("NaN");
  if (std::isinf(x)) return x > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  return QString::number(static_cast<double>(x), 'g', 7);
}

// Label steps of 1, 2, 5, 10, 20, 50, ... objects, the first at least `need`.
std::size_t label_step(double need) {
  std::size_t step = 1;
  for (;;) {
    for (std::size_t f : {1, 2, 5}) {
      if (static_cast<double>(step * f) >= need) return step * f;
    }
    if (step > std::size_t(1) << 40) return step;
    step *= 10;
  }
}

constexpr double kWheelStep = 1.25;
constexpr double kMaxScale = 96;  // pixels per object at the closest zoom

}  // namespace

struct MatrixView::Layout {
  QRect cells, row_labels, column_labels, dendrogram, legend;
  int label_extent = 0;  // the widest object number
  int text_height = 0;
};

MatrixView::MatrixView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setMinimumSize(240, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  poll_.setInterval(50);
  connect(&poll_, &QTimer::timeout, this, [this] {
    if (worker_done_.load()) finish_clustering();
  });
}

MatrixView::~MatrixView() { stop_clustering(); }

void MatrixView::stop_clustering() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
  cancel_ = false;
  worker_done_ = false;
  poll_.stop();
}

void MatrixView::set_data(std::shared_ptr<const MatrixData> data) {
  stop_clustering();
  data_ = std::move(data);
  if (data_ && !data_->consistent()) data_.reset();
  const std::size_t m = data_ ? data_->m : 0;
  range_ = data_ ? value_range(*data_) : ValueRange{};
  data_order_.resize(m);
  std::iota(data_order_.begin(), data_order_.end(), std::size_t{0});
  cluster_order_.clear();
  merges_.clear();
  have_clusters_ = false;
  if (clustered_) set_clustered(true);
  show_whole();
}

// ---- Order ----------------------------------------------------------------------

void MatrixView::set_clustered(bool on) {
  clustered_ = on;
  if (on && !have_clusters_ && data_ && !worker_.joinable()) {
    worker_done_ = false;
    std::shared_ptr<const MatrixData> data = data_;
    worker_ = std::thread([this, data] {
      std::vector<Merge> merges;
      std::vector<std::size_t> order;
      bool failed = false;
      try {
        std::vector<double> d = clustering_input(*data);
        merges = average_linkage(d, data->m, &cancel_);
        order = leaf_order(merges, data->m);
        failed = data->m > 1 && merges.empty();
      } catch (const std::bad_alloc&) {
        failed = true;
      }
      {
        std::lock_guard<std::mutex> lock(result_mutex_);
        result_merges_ = std::move(merges);
        result_order_ = std::move(order);
        result_failed_ = failed;
      }
      worker_done_ = true;
    });
    poll_.start();
    emit hovered(QStringLiteral("Clustering %1 objects...").arg(data->m));
  }
  relayout();
  emit order_changed();
}

void MatrixView::relayout() {
  // The dendrogram takes room from the cells when it comes or goes.
  if (fitted_) {
    window_ = Window{0, 0, fit_scale(size())};
  } else {
    clamp_window();
  }
  cache_valid_ = false;
  update();
}

void MatrixView::finish_clustering() {
  if (worker_.joinable()) worker_.join();
  poll_.stop();
  worker_done_ = false;
  bool failed = false;
  {
    std::lock_guard<std::mutex> lock(result_mutex_);
    failed = result_failed_;
    if (!failed) {
      merges_ = std::move(result_merges_);
      cluster_order_ = std::move(result_order_);
    }
  }
  have_clusters_ = !failed && cluster_order_.size() == (data_ ? data_->m : 0);
  if (failed) {
    clustered_ = false;
    emit hovered(QStringLiteral("Not enough memory to cluster the objects"));
  } else {
    emit hovered(QString());
  }
  relayout();
  emit order_changed();
}

bool MatrixView::wait_for_clustering() {
  if (!worker_.joinable()) return have_clusters_;
  worker_.join();
  finish_clustering();
  return have_clusters_;
}

// ---- Geometry -------------------------------------------------------------------

MatrixView::Layout MatrixView::layout_for(QSize size) const {
  Layout l;
  const QFontMetrics metrics(font());
  l.text_height = metrics.height();
  const std::size_t m = data_ ? data_->m : 0;
  l.label_extent = metrics.horizontalAdvance(QString::number(std::max<std::size_t>(m, 1))) + 6;
  const int legend_width = std::max(metrics.horizontalAdvance(QStringLiteral("-0.0000000e+00")) + 30, 90);
  const int w = size.width(), h = size.height();
  const int top = l.label_extent;
  const int dendrogram = clustered() ? std::clamp(w / 6, 40, 160) : 0;
  const int left = dendrogram + l.label_extent;
  // The cells are square: rows and columns zoom and pan alike.
  const int side = std::max(std::min(w - legend_width - 8 - left, h - top - 4), 1);
  l.cells = QRect(left, top, side, side);
  l.dendrogram = QRect(0, top, dendrogram, side);
  l.row_labels = QRect(dendrogram, top, l.label_extent, side);
  l.column_labels = QRect(left, 0, side, top);
  l.legend = QRect(l.cells.right() + 9, top, legend_width, std::max(h - top - 4, 0));
  return l;
}

QRect MatrixView::cell_area(QSize size) const { return layout_for(size).cells; }

double MatrixView::fit_scale(QSize size) const {
  const std::size_t m = data_ ? data_->m : 0;
  if (m == 0) return 1;
  const QRect area = cell_area(size);
  return std::min(area.width(), area.height()) / static_cast<double>(m);
}

void MatrixView::clamp_window() {
  const std::size_t m = data_ ? data_->m : 0;
  const QRect area = cell_area();
  const double fit = fit_scale(size());
  window_.scale = std::clamp(window_.scale, fit, std::max(fit, kMaxScale));
  auto clamp_first = [&](double& first, int pixels) {
    const double shown = pixels / window_.scale;
    first = std::clamp(first, 0.0, std::max(0.0, static_cast<double>(m) - shown));
  };
  clamp_first(window_.first_x, area.width());
  clamp_first(window_.first_y, area.height());
  fitted_ = window_.scale <= fit;
}

void MatrixView::show_whole() {
  window_ = Window{0, 0, fit_scale(size())};
  fitted_ = true;
  cache_valid_ = false;
  update();
}

void MatrixView::zoom(double factor, QPointF about) {
  if (!data_ || data_->m == 0) return;
  const QRect area = cell_area();
  const double ax = about.x() - area.left(), ay = about.y() - area.top();
  // The position under the pointer stays under it.
  const double px = window_.first_x + ax / window_.scale, py = window_.first_y + ay / window_.scale;
  window_.scale *= factor;
  clamp_window();
  window_.first_x = px - ax / window_.scale;
  window_.first_y = py - ay / window_.scale;
  clamp_window();
  cache_valid_ = false;
  update();
}

void MatrixView::pan(QPointF by) {
  window_.first_x -= by.x() / window_.scale;
  window_.first_y -= by.y() / window_.scale;
  clamp_window();
  cache_valid_ = false;
  update();
}

std::optional<std::pair<std::size_t, std::size_t>> MatrixView::pair_at(QPointF point) const {
  if (!data_ || data_->m == 0) return std::nullopt;
  const QRect area = cell_area();
  if (!area.contains(point.toPoint())) return std::nullopt;
  const double px = window_.first_x + (point.x() - area.left()) / window_.scale;
  const double py = window_.first_y + (point.y() - area.top()) / window_.scale;
  if (px < 0 || py < 0 || px >= static_cast<double>(data_->m) || py >= static_cast<double>(data_->m)) {
    return std::nullopt;
  }
  const auto& o = order();
  return std::make_pair(o[static_cast<std::size_t>(py)], o[static_cast<std::size_t>(px)]);
}

QString MatrixView::describe(std::size_t row, std::size_t column) const {
  if (!data_ || row >= data_->m || column >= data_->m) return {};
  return QStringLiteral("Objects %1 and %2: %3, k = %4")
      .arg(row + 1)
      .arg(column + 1)
      .arg(number_text(data_->at(row, column)))
      .arg(data_->known_in_both(row, column));
}

// ---- Drawing --------------------------------------------------------------------

QImage MatrixView::cells(const QRect& area, const Window& w) const {
  ++cell_renders_;
  QImage image(area.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  if (!data_ || data_->m == 0) return image;
  const auto& o = order();
  const Binning columns = bin_objects(o, w.first_x, w.scale, area.width());
  const Binning rows = bin_objects(o, w.first_y, w.scale, area.height());
  const std::vector<float> values = aggregate(*data_, rows.of_object, rows.bins, columns.of_object, columns.bins);

  std::vector<QRgb> line(static_cast<std::size_t>(area.width()), qRgb(255, 255, 255));
  for (std::size_t r = 0; r < rows.bins; ++r) {
    for (std::size_t c = 0; c < columns.bins; ++c) {
      const Rgb colour = value_colour(values[r * columns.bins + c], range_);
      const QRgb pixel = qRgb(colour.r, colour.g, colour.b);
      const int x1 = std::min(columns.pixel_start[c + 1], area.width());
      for (int x = columns.pixel_start[c]; x < x1; ++x) line[static_cast<std::size_t>(x)] = pixel;
    }
    const int y1 = std::min(rows.pixel_start[r + 1], area.height());
    for (int y = rows.pixel_start[r]; y < y1; ++y) {
      std::memcpy(image.scanLine(y), line.data(), line.size() * sizeof(QRgb));
    }
  }
  return image;
}

void MatrixView::draw(QPainter& p, const Layout& l, const Window& w, const QImage& cell_image) const {
  p.drawImage(l.cells.topLeft(), cell_image);
  if (!data_ || data_->m == 0) {
    p.drawText(l.cells, Qt::AlignCenter, QStringLiteral("No matrix"));
    return;
  }
  const std::size_t m = data_->m;
  const auto& o = order();
  auto centre = [&](double position, double first, int origin) { return origin + (position + 0.5 - first) * w.scale; };

  // Object numbers along both axes, as many as fit without overlapping.
  p.setPen(Qt::black);
  const std::size_t step = label_step((l.text_height + 2) / w.scale);
  const auto first_shown = [&](double first) {
    const auto from = static_cast<std::size_t>(std::max(0.0, std::floor(first)));
    return (from + step - 1) / step * step;
  };
  p.save();
  p.setClipRect(l.row_labels);
  for (std::size_t pos = first_shown(w.first_y); pos < m; pos += step) {
    const double y = centre(static_cast<double>(pos), w.first_y, l.cells.top());
    if (y > l.cells.bottom() + l.text_height) break;
    p.drawText(QRectF(l.row_labels.left(), y - l.text_height / 2.0, l.row_labels.width() - 4, l.text_height),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(o[pos] + 1));
  }
  p.restore();
  p.save();
  p.setClipRect(l.column_labels);
  for (std::size_t pos = first_shown(w.first_x); pos < m; pos += step) {
    const double x = centre(static_cast<double>(pos), w.first_x, l.cells.left());
    if (x > l.cells.right() + l.text_height) break;
    p.save();
    p.translate(x, l.column_labels.bottom() - 2);
    p.rotate(-90);
    p.drawText(QRectF(0, -l.text_height / 2.0, l.column_labels.height() - 4, l.text_height),
               Qt::AlignLeft | Qt::AlignVCenter, QString::number(o[pos] + 1));
    p.restore();
  }
  p.restore();

  // The dendrogram, its leaves against the rows, heights growing leftwards.
  if (clustered() && !merges_.empty() && l.dendrogram.width() > 4) {
    double low = 0, high = 0;
    for (const Merge& mg : merges_) {
      low = std::min(low, mg.height);
      high = std::max(high, mg.height);
    }
    const double span = high > low ? high - low : 1;
    const double x_leaf = l.dendrogram.right() - 2, x_root = l.dendrogram.left() + 4;
    auto x_of = [&](double height) { return x_leaf - (height - low) / span * (x_leaf - x_root); };
    std::vector<double> y(2 * m - 1), x(2 * m - 1);
    for (std::size_t pos = 0; pos < m; ++pos) {
      y[o[pos]] = centre(static_cast<double>(pos), w.first_y, l.cells.top());
      x[o[pos]] = x_of(std::max(low, 0.0));
    }
    p.save();
    p.setClipRect(l.dendrogram);
    p.setPen(QPen(QColor(40, 40, 40), 0));
    for (std::size_t k = 0; k < merges_.size(); ++k) {
      const Merge& mg = merges_[k];
      const std::size_t c = m + k;
      y[c] = (y[mg.left] + y[mg.right]) / 2;
      x[c] = x_of(mg.height);
      const double top = std::min(y[mg.left], y[mg.right]), bottom = std::max(y[mg.left], y[mg.right]);
      if (bottom < l.dendrogram.top() || top > l.dendrogram.bottom()) continue;
      p.drawLine(QPointF(x[c], top), QPointF(x[c], bottom));
      p.drawLine(QPointF(x[c], y[mg.left]), QPointF(x[mg.left], y[mg.left]));
      p.drawLine(QPointF(x[c], y[mg.right]), QPointF(x[mg.right], y[mg.right]));
    }
    p.restore();
  }

  // The legend: the colour bar from the highest value down to the lowest,
  // then INF and NaN in their own colours.
  const QRect& g = l.legend;
  const int bar_height = std::max(std::min(g.height() - 4 * l.text_height - 16, 320), 20);
  const QRect bar(g.left(), g.top() + l.text_height / 2, 16, bar_height);
  QLinearGradient gradient(bar.topLeft(), bar.bottomLeft());
  for (int s = 0; s <= 16; ++s) gradient.setColorAt(s / 16.0, qcolour(colour_map(1.0 - s / 16.0)));
  p.fillRect(bar, range_.finite ? QBrush(gradient) : QBrush(Qt::white));
  p.setPen(Qt::black);
  p.drawRect(bar);
  const QRect text_column(bar.right() + 4, 0, g.right() - bar.right() - 4, l.text_height);
  auto value_label = [&](double at_y, const QString& text) {
    p.drawText(text_column.translated(0, static_cast<int>(at_y - l.text_height / 2.0)), Qt::AlignLeft | Qt::AlignVCenter,
               text);
  };
  if (range_.finite) {
    value_label(bar.top(), number_text(range_.high));
    value_label(bar.center().y(), number_text(static_cast<float>((static_cast<double>(range_.low) + range_.high) / 2)));
    value_label(bar.bottom(), number_text(range_.low));
  } else {
    value_label(bar.center().y(), QStringLiteral("no finite value"));
  }
  int y = bar.bottom() + l.text_height;
  for (const auto& [colour, name] : {std::pair{kInfinityColour, QStringLiteral("INF")},
                                     std::pair{kNanColour, QStringLiteral("NaN")}}) {
    const QRect swatch(g.left(), y, 16, l.text_height - 2);
    p.fillRect(swatch, qcolour(colour));
    p.drawRect(swatch);
    value_label(swatch.center().y(), name);
    y += l.text_height + 4;
  }
}

void MatrixView::render(QPainter& painter, QSize size) const {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  painter.setFont(font());
  const Layout l = layout_for(size);
  // The same stretch of the matrix as the view shows, fitted to the size.
  const QRect here = cell_area();
  const double shown = std::min(here.width(), here.height()) / window_.scale;
  Window w = window_;
  w.scale = shown > 0 ? std::min(l.cells.width(), l.cells.height()) / shown : 1;
  if (fitted_) w = Window{0, 0, fit_scale(size)};
  draw(painter, l, w, cells(l.cells, w));
}

void MatrixView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const Layout l = layout_for(size());
  if (!cache_valid_ || cache_.size() != l.cells.size()) {
    cache_ = cells(l.cells, window_);
    cache_valid_ = true;
  }
  draw(p, l, window_, cache_);
}

void MatrixView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void MatrixView::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0) zoom(std::pow(kWheelStep, notches), event->position());
  event->accept();
}

void MatrixView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    drag_from_ = event->position();
    setCursor(Qt::ClosedHandCursor);
  }
}

void MatrixView::mouseMoveEvent(QMouseEvent* event) {
  if (drag_from_ && (event->buttons() & Qt::LeftButton)) {
    pan(event->position() - *drag_from_);
    drag_from_ = event->position();
  }
  if (const auto pair = pair_at(event->position())) {
    emit hovered(describe(pair->first, pair->second));
  } else {
    emit hovered(QString());
  }
}

void MatrixView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    drag_from_.reset();
    unsetCursor();
  }
}

void MatrixView::leaveEvent(QEvent*) { emit hovered(QString()); }

}  // namespace tessora::console
