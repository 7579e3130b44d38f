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

constexpr double kWheelStep = 1.25;
constexpr double kMaxScale = 96;  // pixels per object at the closest zoom
constexpr int kDendrogramMin = 40, kDendrogramMax = 160;
constexpr double kDendrogramGap = 4;  // leaves closer than this show as one
constexpr int kBar = 16;              // the colour bar's thickness
constexpr int kBarLength = 320;       // its greatest length
constexpr int kSwatchGap = 12;        // before each swatch of the legend below

QRect qrect(const Box& b) { return QRect(b.x, b.y, b.width, b.height); }

// The legend's words: the highest, middle and lowest finite value (or one
// line when there is none).
struct LegendTexts {
  QString high, middle, low;
};

LegendTexts legend_texts(const ValueRange& r) {
  if (!r.finite) return {QString(), QStringLiteral("no finite value"), QString()};
  return {number_text(r.high), number_text(static_cast<float>((static_cast<double>(r.low) + r.high) / 2)),
          number_text(r.low)};
}

const QString kInfText = QStringLiteral("INF");
const QString kNanText = QStringLiteral("NaN");

}  // namespace

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

PictureParts MatrixView::parts() const {
  const QFontMetrics metrics(font());
  const std::size_t m = data_ ? data_->m : 0;
  const LegendTexts t = legend_texts(range_);
  auto width = [&](const QString& text) { return metrics.horizontalAdvance(text); };
  const int words = std::max({width(t.high), width(t.middle), width(t.low), width(kInfText), width(kNanText)});
  PictureParts p;
  p.labels = width(QString::number(std::max<std::size_t>(m, 1))) + 6;
  p.legend_width = kBar + 4 + words + 2;
  p.legend_height = kBar + 2 + metrics.height();
  const int swatches = 2 * (kSwatchGap + kBar + 4) + width(kInfText) + width(kNanText);
  p.legend_length = std::max(width(t.low) + width(t.middle) + width(t.high) + 24, 80) + swatches;
  if (clustered()) {
    p.dendrogram_min = kDendrogramMin;
    p.dendrogram_max = kDendrogramMax;
  }
  return p;
}

MatrixView::Layout MatrixView::layout_for(QSize size) const {
  const PictureLayout pl = layout_picture(size.width(), size.height(), parts());
  Layout l;
  l.cells = qrect(pl.cells);
  l.row_labels = qrect(pl.row_labels);
  l.column_labels = qrect(pl.column_labels);
  l.dendrogram = qrect(pl.dendrogram);
  l.legend = qrect(pl.legend);
  l.legend_below = pl.legend_below;
  l.text_height = QFontMetrics(font()).height();
  return l;
}

QSize MatrixView::fitting_size(QSize available) const {
  const PictureSize s = console::fitting_size(available.width(), available.height(), parts());
  return QSize(s.width, s.height).boundedTo(available).expandedTo(minimumSize());
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

std::vector<MatrixView::Label> MatrixView::labels(const Layout& l, const Window& w) const {
  std::vector<Label> out;
  if (!data_ || data_->m == 0) return out;
  const auto& o = order();
  const QFontMetrics metrics(font());
  const int th = l.text_height;
  // Numbers stand wholly beside the cells, right-aligned against the rows
  // and reading upwards above the columns; those that would pass an end of
  // the cells are left out rather than cut.
  for (const AxisLabel& a : axis_labels(data_->m, w.first_y, w.scale, l.cells.height(), th)) {
    const QString text = QString::number(o[a.position] + 1);
    const int width = metrics.horizontalAdvance(text);
    out.push_back({QRectF(l.row_labels.right() + 1 - 4 - width, l.cells.top() + a.centre - th / 2.0, width, th), text,
                   false});
  }
  for (const AxisLabel& a : axis_labels(data_->m, w.first_x, w.scale, l.cells.width(), th)) {
    const QString text = QString::number(o[a.position] + 1);
    const int length = metrics.horizontalAdvance(text);
    out.push_back({QRectF(l.cells.left() + a.centre - th / 2.0, l.column_labels.bottom() + 1 - 2 - length, th, length),
                   text, true});
  }
  return out;
}

MatrixView::Window MatrixView::window_for(QSize size) const {
  if (size == this->size()) return window_;
  if (fitted_) return Window{0, 0, fit_scale(size)};
  // The same stretch of the matrix as the view shows, fitted to the size.
  const double shown = cell_area().width() / window_.scale;
  Window w = window_;
  w.scale = shown > 0 ? cell_area(size).width() / shown : 1;
  return w;
}

std::vector<QRectF> MatrixView::label_boxes(QSize size) const {
  std::vector<QRectF> boxes;
  for (const Label& label : labels(layout_for(size), window_for(size))) boxes.push_back(label.box);
  return boxes;
}

void MatrixView::draw(QPainter& p, const Layout& l, const Window& w, const QImage& cell_image) const {
  p.drawImage(l.cells.topLeft(), cell_image);
  if (!data_ || data_->m == 0) {
    p.drawText(l.cells, Qt::AlignCenter, QStringLiteral("No matrix"));
    return;
  }
  const std::size_t m = data_->m;
  const auto& o = order();

  // Object numbers along both axes, as many as fit without overlapping.
  p.setPen(Qt::black);
  for (const Label& label : labels(l, w)) {
    if (!label.along_top) {
      p.drawText(label.box, Qt::AlignRight | Qt::AlignVCenter, label.text);
      continue;
    }
    p.save();
    p.translate(label.box.left() + label.box.width() / 2, label.box.bottom());
    p.rotate(-90);
    p.drawText(QRectF(0, -label.box.width() / 2, label.box.height(), label.box.width()),
               Qt::AlignLeft | Qt::AlignVCenter, label.text);
    p.restore();
  }

  // The dendrogram, its leaves against the rows, heights growing leftwards;
  // drawn at the resolution of the picture.
  if (clustered() && !merges_.empty() && l.dendrogram.width() > 4) {
    std::vector<double> y(m);
    for (std::size_t pos = 0; pos < m; ++pos) {
      y[o[pos]] = l.cells.top() + (static_cast<double>(pos) + 0.5 - w.first_y) * w.scale;
    }
    const double x_leaf = l.dendrogram.right() - 1, x_root = l.dendrogram.left() + 4;
    p.save();
    p.setClipRect(l.dendrogram);
    p.setPen(QPen(QColor(40, 40, 40), 0));
    const QRectF shown(l.dendrogram);
    for (const Segment& s : dendrogram_lines(merges_, y, x_leaf, x_root, kDendrogramGap)) {
      if (std::max(s.y0, s.y1) < shown.top() || std::min(s.y0, s.y1) > shown.bottom()) continue;
      p.drawLine(QPointF(s.x0, s.y0), QPointF(s.x1, s.y1));
    }
    p.restore();
  }
  draw_legend(p, l);
}

void MatrixView::draw_legend(QPainter& p, const Layout& l) const {
  const QRect& g = l.legend;
  const int th = l.text_height;
  const QFontMetrics metrics(font());
  const LegendTexts t = legend_texts(range_);
  p.setPen(Qt::black);
  auto swatch = [&](QPoint at, Rgb colour, const QString& name) {
    const QRect box(at.x(), at.y(), kBar, th - 2);
    p.fillRect(box, qcolour(colour));
    p.drawRect(box);
    const int text_x = box.left() + kBar + 4;
    p.drawText(QRect(text_x, at.y() - 1, metrics.horizontalAdvance(name) + 2, th), Qt::AlignLeft | Qt::AlignVCenter, name);
    return text_x + metrics.horizontalAdvance(name);
  };
  auto fill_bar = [&](const QRect& bar, QPointF from, QPointF to) {
    // From the lowest value to the highest.
    QLinearGradient gradient(from, to);
    for (int s = 0; s <= 16; ++s) gradient.setColorAt(s / 16.0, qcolour(colour_map(s / 16.0)));
    p.fillRect(bar, range_.finite ? QBrush(gradient) : QBrush(Qt::white));
    p.drawRect(bar);
  };

  if (l.legend_below) {
    // The bar from the lowest value on the left to the highest, the values
    // under it, then INF and NaN in their own colours.
    const int swatches =
        2 * (kSwatchGap + kBar + 4) + metrics.horizontalAdvance(kInfText) + metrics.horizontalAdvance(kNanText);
    const int length = std::clamp(g.width() - swatches - 1, 40, kBarLength);
    const QRect bar(g.left(), g.top(), length, kBar);
    fill_bar(bar, bar.topLeft(), bar.topRight());
    const int y = bar.bottom() + 2;
    if (range_.finite) {
      p.drawText(QRect(bar.left(), y, bar.width(), th), Qt::AlignLeft | Qt::AlignTop, t.low);
      p.drawText(QRect(bar.left(), y, bar.width(), th), Qt::AlignRight | Qt::AlignTop, t.high);
      const int low_end = bar.left() + metrics.horizontalAdvance(t.low) + 6;
      const int high_start = bar.right() - metrics.horizontalAdvance(t.high) - 6;
      const int middle = metrics.horizontalAdvance(t.middle);
      const int centre = bar.center().x();
      if (centre - middle / 2 >= low_end && centre + middle / 2 <= high_start) {
        p.drawText(QRect(centre - middle / 2 - 1, y, middle + 2, th), Qt::AlignHCenter | Qt::AlignTop, t.middle);
      }
    } else {
      p.drawText(QRect(bar.left(), y, std::max(bar.width(), metrics.horizontalAdvance(t.middle)), th),
                 Qt::AlignLeft | Qt::AlignTop, t.middle);
    }
    int x = bar.right() + kSwatchGap;
    x = swatch(QPoint(x, g.top() + 1), kInfinityColour, kInfText) + kSwatchGap;
    swatch(QPoint(x, g.top() + 1), kNanColour, kNanText);
    return;
  }

  // To the right: the bar from the highest value down to the lowest, then
  // INF and NaN below it.
  const int bar_height = std::max(std::min(g.height() - 4 * th - 16, kBarLength), 20);
  const QRect bar(g.left(), g.top() + th / 2, kBar, bar_height);
  fill_bar(bar, bar.bottomLeft(), bar.topLeft());
  const QRect text_column(bar.right() + 4, 0, g.right() - bar.right() - 4, th);
  auto value_label = [&](double at_y, const QString& text) {
    p.drawText(text_column.translated(0, static_cast<int>(at_y - th / 2.0)), Qt::AlignLeft | Qt::AlignVCenter, text);
  };
  if (range_.finite) {
    value_label(bar.top(), t.high);
    value_label(bar.center().y(), t.middle);
    value_label(bar.bottom(), t.low);
  } else {
    value_label(bar.center().y(), t.middle);
  }
  int y = bar.bottom() + th;
  for (const auto& [colour, name] : {std::pair{kInfinityColour, kInfText}, std::pair{kNanColour, kNanText}}) {
    swatch(QPoint(g.left(), y), colour, name);
    y += th + 4;
  }
}

void MatrixView::render(QPainter& painter, QSize size) const {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  painter.setFont(font());
  const Layout l = layout_for(size);
  const Window w = window_for(size);
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
