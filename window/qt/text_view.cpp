#include "window/qt/text_view.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

namespace tessora::console {

QString display_text(std::string_view bytes) {
  QString out(static_cast<qsizetype>(bytes.size()), QChar(' '));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    const bool control = c < 0x20 || (c >= 0x7f && c < 0xa0);
    out[static_cast<qsizetype>(i)] = control ? QChar(0x00b7) : QChar(c);
  }
  return out;
}

namespace {

QFont fixed_pitch_font() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

char key_byte(QChar c) { return c.unicode() < 0x100 ? static_cast<char>(c.unicode()) : '?'; }

}  // namespace

TextView::TextView(TextWindow& window, QWidget* parent)
    : QAbstractScrollArea(parent), window_(window), font_(fixed_pitch_font()) {
  setFont(font_);
  const QFontMetricsF metrics(font_);
  char_width_ = metrics.horizontalAdvance(QLatin1Char('0'));
  line_height_ = static_cast<int>(std::ceil(metrics.lineSpacing()));
  ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
  if (char_width_ <= 0) char_width_ = 8;
  if (line_height_ <= 0) line_height_ = 16;

  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(false);
  setAttribute(Qt::WA_KeyCompression, false);

  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!syncing_) window_.scroll_vertical(Scroll::to_position, static_cast<std::size_t>(std::max(value, 0)));
  });
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!syncing_) window_.scroll_horizontal(Scroll::to_position, static_cast<std::size_t>(std::max(value, 0)));
  });

  const int flash = QApplication::cursorFlashTime();
  if (flash > 0) {
    blink_.setInterval(flash / 2);
    connect(&blink_, &QTimer::timeout, this, [this] {
      caret_shown_ = !caret_shown_;
      viewport()->update();
    });
  }

  window_.subscribe([this](unsigned what) { changed(what); });
  sync_scroll_bars();
}

void TextView::changed(unsigned what) {
  if (what & (change::kText | change::kView)) schedule_layout();
  // Show the caret solid while the user works; blinking resumes afterwards.
  caret_shown_ = true;
  if (blink_.isActive()) blink_.start();
  viewport()->update();
}

void TextView::schedule_layout() {
  if (layout_pending_) return;
  layout_pending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (layout_pending_) sync_scroll_bars();
      },
      Qt::QueuedConnection);
}

void TextView::sync_scroll_bars() {
  layout_pending_ = false;
  ++layouts_;
  syncing_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, static_cast<int>(std::min<std::size_t>(window_.vertical_max(), INT_MAX)));
  v->setPageStep(static_cast<int>(std::min<std::size_t>(window_.vertical_page(), INT_MAX)));
  v->setSingleStep(1);
  v->setValue(static_cast<int>(std::min<std::size_t>(window_.first_line(), INT_MAX)));
  QScrollBar* h = horizontalScrollBar();
  const std::size_t hmax = std::max(window_.horizontal_max(), window_.first_column());
  h->setRange(0, static_cast<int>(std::min<std::size_t>(hmax, INT_MAX)));
  h->setPageStep(static_cast<int>(TextWindow::kHorizontalPage));
  h->setSingleStep(1);
  h->setValue(static_cast<int>(std::min<std::size_t>(window_.first_column(), INT_MAX)));
  syncing_ = false;
}

void TextView::update_geometry() {
  const QSize size = viewport()->size();
  const auto rows = static_cast<std::size_t>(std::max(size.height(), 0) / line_height_);
  const auto columns = static_cast<std::size_t>(std::floor(std::max(size.width(), 0) / char_width_));
  window_.resize(rows, columns);
}

void TextView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  update_geometry();
}

void TextView::scrollContentsBy(int, int) { viewport()->update(); }

bool TextView::focusNextPrevChild(bool) { return false; }

std::size_t TextView::line_at(QPointF point) const {
  const double row = std::floor(std::max(point.y(), 0.0) / line_height_);
  return window_.first_line() + static_cast<std::size_t>(row);
}

std::size_t TextView::column_at(QPointF point, bool nearest) const {
  const double x = std::max(point.x(), 0.0) / char_width_;
  return window_.first_column() + static_cast<std::size_t>(nearest ? std::floor(x + 0.5) : std::floor(x));
}

void TextView::paintEvent(QPaintEvent*) {
  ++paints_;
  QPainter p(viewport());
  const QRect area = viewport()->rect();
  p.fillRect(area, Qt::white);
  p.setFont(font_);
  p.setPen(Qt::black);

  const Transcript& t = window_.transcript();
  const std::size_t first = window_.first_line();
  const std::size_t left = window_.first_column();
  const std::size_t visible_rows = static_cast<std::size_t>(area.height() / line_height_) + 1;
  const std::size_t visible_columns = static_cast<std::size_t>(area.width() / char_width_) + 1;
  auto piece = [&](const std::string& line, std::size_t begin, std::size_t end) {
    begin = std::max(begin, left);
    end = std::min({end, line.size(), left + visible_columns});
    return begin < end ? std::string_view(line).substr(begin, end - begin) : std::string_view();
  };
  auto x_of = [&](std::size_t column) { return (static_cast<double>(column) - static_cast<double>(left)) * char_width_; };

  for (std::size_t r = 0; r < visible_rows && first + r < t.line_count(); ++r) {
    const std::string& line = t.line(first + r);
    const std::string_view text = piece(line, left, line.size());
    if (!text.empty()) p.drawText(QPointF(0, static_cast<double>(r) * line_height_ + ascent_), display_text(text));
  }

  // The selected stretch, white on blue.
  if (const auto& sel = window_.selection(); sel && !sel->empty() && sel->line >= first &&
                                              sel->line < first + visible_rows && sel->line < t.line_count()) {
    const std::string& line = t.line(sel->line);
    const std::size_t begin = std::max(std::min(sel->begin, line.size()), left);
    const std::string_view text = piece(line, sel->begin, sel->end);
    if (!text.empty()) {
      const double y = static_cast<double>(sel->line - first) * line_height_;
      p.fillRect(QRectF(x_of(begin), y, static_cast<double>(text.size()) * char_width_, line_height_), Qt::blue);
      p.setPen(Qt::white);
      p.drawText(QPointF(x_of(begin), y + ascent_), display_text(text));
      p.setPen(Qt::black);
    }
  }

  // The block caret, as wide as a character and as high as a line.
  const std::size_t caret_line = window_.caret_line();
  const std::size_t caret = window_.caret_column();
  if (hasFocus() && caret_shown_ && caret_line >= first && caret_line < first + visible_rows && caret >= left) {
    const double y = static_cast<double>(caret_line - first) * line_height_;
    const QRectF block(x_of(caret), y, char_width_, line_height_);
    p.fillRect(block, Qt::black);
    if (window_.line_open() && caret < t.line(caret_line).size()) {
      p.setPen(Qt::white);
      p.drawText(QPointF(block.x(), y + ascent_), display_text(std::string_view(t.line(caret_line)).substr(caret, 1)));
    }
  }
}

void TextView::keyPressEvent(QKeyEvent* event) {
  // The Edit accelerators are the menu's, also while their items are greyed.
  if (event->modifiers() & Qt::ControlModifier) {
    switch (event->key()) {
      case Qt::Key_Z: case Qt::Key_X: case Qt::Key_C: case Qt::Key_V: event->accept(); return;
      default: break;
    }
  }
  switch (event->key()) {
    case Qt::Key_Return: case Qt::Key_Enter: window_.press(Key::enter); break;
    case Qt::Key_Backspace: window_.press(Key::backspace); break;
    case Qt::Key_Tab: window_.press(Key::tab); break;
    case Qt::Key_Left: window_.press(Key::left); break;
    case Qt::Key_Right: window_.press(Key::right); break;
    case Qt::Key_Delete: window_.press(Key::del); break;
    case Qt::Key_Insert: window_.press(Key::insert); break;
    case Qt::Key_Home: window_.press(Key::home); break;
    case Qt::Key_End: window_.press(Key::end); break;
    case Qt::Key_PageUp: window_.press(Key::page_up); break;
    case Qt::Key_PageDown: window_.press(Key::page_down); break;
    case Qt::Key_Up: window_.press(Key::up); break;
    case Qt::Key_Down: window_.press(Key::down); break;
    default: {
      const QString text = event->text();
      if (text.isEmpty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
      }
      for (QChar c : text) window_.type(key_byte(c));
    }
  }
  event->accept();
}

void TextView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  window_.mouse_press();
}

void TextView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  window_.mouse_drag(line_at(event->position()), column_at(event->position(), /*nearest=*/true));
}

void TextView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
  window_.mouse_release();
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseDoubleClickEvent(event);
  window_.select_word(line_at(event->position()), column_at(event->position(), /*nearest=*/false));
}

void TextView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  caret_shown_ = true;
  if (blink_.interval() > 0) blink_.start();
  viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blink_.stop();
  viewport()->update();
}

}  // namespace tessora::console
