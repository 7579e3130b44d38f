// The text window's widget: paints the transcript in the fixed-pitch system
// font with a block caret and a white-on-blue selection, and turns keys,
// mouse moves and scroll bars into calls on the core.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QTimer>
#include <cstddef>
#include <string_view>

#include "window/core/text_window.hpp"

namespace tessora::console {

// Transcript bytes as text to draw: Latin-1, control characters shown as a
// middle dot so that every byte keeps its column.
QString display_text(std::string_view bytes);

class TextView final : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TextView(TextWindow& window, QWidget* parent = nullptr);

  const QFont& text_font() const { return font_; }
  double char_width() const { return char_width_; }
  int line_height() const { return line_height_; }
  // The transcript position under a point of the viewport: the line, and the
  // column boundary nearest to it (`nearest`) or the character under it.
  std::size_t line_at(QPointF point) const;
  std::size_t column_at(QPointF point, bool nearest) const;

  // How often the scroll bars were brought in line with the transcript and
  // the text was painted. Changes are gathered: each pass of the event loop
  // lays out and paints at most once, however many lines came in meanwhile.
  std::size_t layouts() const { return layouts_; }
  std::size_t paints() const { return paints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool focusNextPrevChild(bool next) override;  // Tab is a key of the input line

 private:
  void changed(unsigned what);
  void update_geometry();
  void sync_scroll_bars();
  void schedule_layout();

  TextWindow& window_;
  QFont font_;
  double char_width_ = 8;
  int line_height_ = 16;
  int ascent_ = 12;
  bool syncing_ = false;
  bool caret_shown_ = true;
  bool layout_pending_ = false;
  std::size_t layouts_ = 0;
  std::size_t paints_ = 0;
  QTimer blink_;
};

}  // namespace tessora::console
