// The Matrix window on a screen of a given size (the offscreen platform's
// screen, set by the test's environment): the frame and its children stay
// on the screen, the cells fill the room the legend, the numbers and the
// dendrogram leave, no number is cut, and the dendrogram of many objects
// keeps its structure instead of turning into a dark band.
#include <gtest/gtest.h>

#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <string>

#include "window/qt/main_frame.hpp"
#include "window/qt/matrix_window.hpp"
#include "window/qt/session.hpp"
#include "qt_environment.hpp"
#include "test_matrices.hpp"

namespace tessora::console {
namespace {

using testing::grouped_points;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// A session whose run gave a matrix of m objects, in the data's or the
// clustered order, the Matrix window where the frame put it.
struct Opened {
  WindowSession s;
  MatrixView* v = nullptr;
  explicit Opened(std::size_t m, bool clustered = false, QPoint frame_at = {-1, -1}, std::size_t groups = 6) {
    s.show();
    if (frame_at.x() >= 0) s.frame().move(frame_at);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&s.frame()));
    s.show_matrix(grouped_points(m, 40, groups));
    settle();
    v = s.frame().matrix()->view();
    if (clustered) {
      s.frame().matrix()->clustered_action()->trigger();
      EXPECT_TRUE(v->wait_for_clustering());
    }
    QApplication::processEvents();
  }
  // Until the frame stops moving (a window manager follows a resize or move
  // in its own time; offscreen, at once).
  void settle() {
    QRect last;
    for (int i = 0; i < 50 && s.frame().frameGeometry() != last; ++i) {
      last = s.frame().frameGeometry();
      QTest::qWait(20);
    }
  }
};

QRect screen_area(const QWidget& w) { return w.screen()->availableGeometry(); }

// ---- On the screen -------------------------------------------------------------------------

struct Start {
  const char* name;
  int right_gap;  // the frame's distance from the screen's right edge; -1: where it opens
  int bottom_gap;
};

class FrameOnTheScreen : public ::testing::TestWithParam<Start> {};

TEST_P(FrameOnTheScreen, FrameAndChildrenStayWithin) {
  const Start& start = GetParam();
  QPoint at(-1, -1);
  if (start.right_gap >= 0) {
    // Placed first by hand near the screen's right or bottom edge.
    WindowSession probe;
    const QRect screen = screen_area(probe.frame());
    const QSize frame = probe.frame().size();
    at = QPoint(screen.right() + 1 - frame.width() - start.right_gap, screen.bottom() + 1 - frame.height() - start.bottom_gap);
    at = QPoint(std::max(at.x(), screen.left()), std::max(at.y(), screen.top()));
  }
  Opened o(300, false, at);
  MainFrame& f = o.s.frame();
  const QRect screen = screen_area(f);
  EXPECT_TRUE(screen.contains(f.frameGeometry())) << "frame at " << f.frameGeometry().x() << ","
                                                  << f.frameGeometry().y() << " " << f.frameGeometry().width() << "x"
                                                  << f.frameGeometry().height();
  const QRect client = f.mdi_area()->viewport()->rect();
  for (QMdiSubWindow* child : f.mdi_area()->subWindowList()) {
    EXPECT_TRUE(client.contains(child->geometry())) << child->windowTitle().toStdString();
  }
  // Beside the text window when there is room, otherwise a step down and
  // right of it; the text window keeps its place either way.
  const QRect text = f.text_window()->geometry();
  EXPECT_EQ(text, QRect(15, 15, 600, 300));
  const QRect matrix = f.matrix_window()->geometry();
  EXPECT_TRUE(matrix.left() > text.right() || (matrix.left() > text.left() && matrix.top() > text.top()));
}

INSTANTIATE_TEST_SUITE_P(Starts, FrameOnTheScreen,
                         ::testing::Values(Start{"where_it_opens", -1, -1}, Start{"near_the_right_edge", 10, 100},
                                           Start{"in_the_bottom_right_corner", 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The cells fill their room ----------------------------------------------------------------

struct Picture {
  const char* name;
  std::size_t m;
  bool clustered;
};

class PictureAtItsSize : public ::testing::TestWithParam<Picture> {};

// The room the other parts leave: right of the numbers (and the
// dendrogram), under the column numbers, before the legend.
QRect room_left(const MatrixView& v, const MatrixView::Layout& l) {
  const int left = std::max(l.row_labels.right(), l.dendrogram.right()) + 1;
  const int top = l.column_labels.bottom() + 1;
  const int right = l.legend_below ? v.width() - 1 : l.legend.left() - 1;
  const int bottom = l.legend_below ? l.legend.top() - 1 : v.height() - 1;
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

TEST_P(PictureAtItsSize, CellsFillTheRoomLeftAndAreAllPainted) {
  const Picture& p = GetParam();
  Opened o(p.m, p.clustered);
  const MatrixView::Layout l = o.v->layout_for(o.v->size());
  const QRect room = room_left(*o.v, l);
  const double cells = static_cast<double>(l.cells.width()) * l.cells.height();
  EXPECT_GE(cells, 0.8 * room.width() * room.height())
      << "cells " << l.cells.width() << "x" << l.cells.height() << " in " << room.width() << "x" << room.height();
  EXPECT_EQ(l.cells.width(), l.cells.height());
  EXPECT_TRUE(room.contains(l.cells));
  // Every pixel of the square shows a cell.
  const QImage image = o.v->grab().toImage();
  int white = 0;
  for (int y = l.cells.top(); y <= l.cells.bottom(); ++y)
    for (int x = l.cells.left(); x <= l.cells.right(); ++x) white += image.pixel(x, y) == qRgb(255, 255, 255);
  EXPECT_EQ(white, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PictureAtItsSize,
                         ::testing::Values(Picture{"eight", 8, false}, Picture{"eight_clustered", 8, true},
                                           Picture{"three_hundred", 300, false},
                                           Picture{"three_hundred_clustered", 300, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Numbers never cut -------------------------------------------------------------------------

struct LabelCase {
  const char* name;
  std::size_t m;
  bool clustered;
  double zoom;  // wheel factor about the cells' centre; 1 for the whole matrix
  QPointF pan;
  QSize size;  // of an export; invalid for the view's own
};

class LabelsOnThePicture : public ::testing::TestWithParam<LabelCase> {};

TEST_P(LabelsOnThePicture, StayWholeBesideTheCellsAndApart) {
  const LabelCase& c = GetParam();
  Opened o(c.m, c.clustered);
  if (c.zoom != 1) o.v->zoom(c.zoom, o.v->cell_area().center());
  o.v->pan(c.pan);
  const QSize size = c.size.isValid() ? c.size : o.v->size();
  const MatrixView::Layout l = o.v->layout_for(size);
  const std::vector<QRectF> boxes = o.v->label_boxes(size);
  ASSERT_FALSE(boxes.empty());
  const QRectF picture(QPointF(0, 0), QSizeF(size));
  // Beside the rows, within the cells' height; above the columns, within
  // their width.
  const QRectF rows(l.row_labels.left(), l.cells.top(), l.row_labels.width(), l.cells.height());
  const QRectF columns(l.cells.left(), l.column_labels.top(), l.cells.width(), l.column_labels.height());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const QRectF& b = boxes[i];
    EXPECT_TRUE(picture.contains(b)) << i;
    EXPECT_TRUE(rows.contains(b) || columns.contains(b)) << i;
    for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(b.intersects(boxes[j])) << i << " and " << j;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LabelsOnThePicture,
    ::testing::Values(LabelCase{"eight", 8, false, 1, {}, {}}, LabelCase{"three_hundred", 300, false, 1, {}, {}},
                      LabelCase{"three_hundred_clustered", 300, true, 1, {}, {}},
                      LabelCase{"three_hundred_zoomed", 300, false, 3.7, {}, {}},
                      LabelCase{"three_hundred_zoomed_panned", 300, true, 5.3, QPointF(-37.5, -91.25), {}},
                      LabelCase{"two_thousand", 2000, false, 1, {}, {}},
                      LabelCase{"three_hundred_export_small", 300, true, 1, {}, QSize(260, 230)},
                      LabelCase{"three_hundred_export_large", 300, true, 2.2, QPointF(13, 29), QSize(1900, 1300)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The dendrogram of many objects --------------------------------------------------------------

double dark_share(const QImage& image, const QRect& area) {
  long long dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) dark += qGray(image.pixel(x, y)) < 128;
  return static_cast<double>(dark) / (static_cast<double>(area.width()) * area.height());
}

// The pixel rows of the area that hold some dark pixel.
int rows_with_lines(const QImage& image, const QRect& area) {
  int rows = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) {
        ++rows;
        break;
      }
    }
  }
  return rows;
}

struct TreeCase {
  const char* name;
  std::size_t groups;  // 300: every object on its own
  QSize size;          // of an export; invalid for the view's own
};

class DendrogramOfMany : public ::testing::TestWithParam<TreeCase> {};

TEST_P(DendrogramOfMany, ShowsItsStructureNotABand) {
  const TreeCase& c = GetParam();
  Opened o(300, true, {-1, -1}, c.groups);
  ASSERT_TRUE(o.v->clustered());
  QImage image;
  QSize size = o.v->size();
  if (c.size.isValid()) {
    const auto path = std::filesystem::temp_directory_path() / (std::string("tessora_tree_") + c.name + ".png");
    const QString name = QString::fromStdString(path.string());
    ASSERT_TRUE(o.s.frame().matrix()->export_picture(name, c.size));
    image = QImage(name);
    size = c.size;
  } else {
    image = o.v->grab().toImage();
  }
  ASSERT_EQ(image.size(), size);
  const QRect tree = o.v->layout_for(size).dendrogram;
  ASSERT_GT(tree.width(), 20);
  EXPECT_LT(dark_share(image, tree), 0.5);
  // Its upper levels are there: lines at many heights, not one stroke.
  EXPECT_GT(rows_with_lines(image, tree), 20);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DendrogramOfMany,
                         ::testing::Values(TreeCase{"view", 6, {}}, TreeCase{"view_without_groups", 300, {}},
                                           TreeCase{"export_small", 6, QSize(420, 360)},
                                           TreeCase{"export_large", 300, QSize(1600, 1200)}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessora::console
