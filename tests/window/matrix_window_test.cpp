// The Matrix child window: made by a run that wrote MATRIX.TXT, from the
// values in memory; its menu item, colours, hover text, zoom and pan, the
// clustered order, and exports to PNG and SVG.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include "dialogue/datafile.hpp"
#include "dialogue/dialogue.hpp"
#include "tessora/table.hpp"
#include "app/run.hpp"
#include "window/qt/main_frame.hpp"
#include "window/qt/matrix_window.hpp"
#include "window/qt/run_values.hpp"
#include "window/qt/session.hpp"
#include "qt_environment.hpp"
#include "user_driver.hpp"

namespace tessora::console {
namespace {

using testing::UserDriver;
using testing::Watchdog;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

namespace fs = std::filesystem;

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

fs::path scratch(const std::string& name) {
  const auto dir = fs::temp_directory_path() / ("tessora_matrix_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

class InDirectory {
 public:
  explicit InDirectory(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~InDirectory() { fs::current_path(old_); }

 private:
  fs::path old_;
};

std::string menu_layout(QMenu* menu) {
  std::string out;
  for (QAction* a : menu->actions()) out += (a->isSeparator() ? "-" : std::to_string(a->data().toInt())) + " ";
  return out;
}

// ---- A run gives the picture -------------------------------------------------------------

TEST(MatrixWindow, RunThatWroteTheMatrixShowsItsValues) {
  Watchdog watchdog;
  const fs::path dir = scratch("run");
  std::ofstream(dir / "DATA.TXT", std::ios::binary) << "BEETLES\n3 5\n1.5 2 -1 4 0\n0 1 2.25 3 -1\n7 -1 1 0 12\n";
  InDirectory here(dir);
  WindowSession s;
  s.show();
  UserDriver user(s);
  user.answers = {"DATA.TXT", "0", "1", "0", "0"};  // columns, Euclidean, unscaled, full
  user.when_ended = [&] { s.frame().close(); };
  user.on_modal = [](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) UserDriver::press(box, QMessageBox::No);
  };
  // The window's start-up wiring, with a copy of what the engine handed over.
  std::vector<float> engine_values;
  bool seen_before_stop = false;
  dialogue::DialogueOptions options;
  options.matrix_written = [&](const dialogue::DialogueOptions::MatrixWritten& w) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(w.matrix.size()); ++i)
      for (std::size_t j = 0; j < static_cast<std::size_t>(w.matrix.size()); ++j) engine_values.push_back(w.matrix(static_cast<std::int64_t>(i), static_cast<std::int64_t>(j)));
    seen_before_stop = !s.host().run_ended();
    s.show_matrix(copy_run_values(w, Missing::value(dialogue::kMissing)));
  };
  EXPECT_EQ(app::run_program(s.host(), options), 0);
  EXPECT_TRUE(seen_before_stop);

  MainFrame& f = s.frame();
  ASSERT_NE(f.matrix_window(), nullptr);
  EXPECT_EQ(f.matrix_window()->windowTitle(), "Matrix");
  EXPECT_EQ(f.mdi_area()->subWindowList().size(), 2);
  // Beside the text window, which keeps its place.
  EXPECT_EQ(f.text_window()->geometry(), QRect(15, 15, 600, 300));
  EXPECT_GT(f.matrix_window()->x(), f.text_window()->geometry().right());
  const MatrixData* data = f.matrix()->view()->data();
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->m, 5u);  // the columns are the objects
  std::vector<float> shown;
  for (std::size_t i = 0; i < data->m; ++i)
    for (std::size_t j = 0; j < data->m; ++j) shown.push_back(data->at(i, j));
  EXPECT_EQ(shown, engine_values);
  // Nothing new in the transcript: the run's lines end with the stop.
  EXPECT_EQ(s.window().transcript().lines().end()[-3], " STOP ");
  // Window > 2 Matrix at the end; the items before it as they were.
  QMenu* windows = f.menuBar()->actions()[2]->menu();
  EXPECT_EQ(menu_layout(windows), "701 700 702 - 100 101 ");
  EXPECT_EQ(f.command_action(command::kMatrixChild)->text(), "&2 Matrix");
  EXPECT_EQ(f.command_action(command::kFirstChild)->text(), "&1 Input/Output");
}

// ---- The window on a matrix made here -----------------------------------------------------

// Objects at 0, 1, 4 and 10 on a line; object 2's distance to 3 is NaN,
// object 1's to 3 is INF. Two variables; -1 marks a missing value.
MatrixData line_of_four() {
  MatrixData d;
  d.coefficient = 1;
  d.diagonal = Diagonal::zero;
  d.m = 4;
  d.diag = {0, 0, 0, 0};
  d.triangle = {1, 4, 3, 10, kInf, kNan};  // (1,0) (2,0) (2,1) (3,0) (3,1) (3,2)
  d.n = 2;
  d.data = {0, 5, /**/ 1, -1, /**/ 4, 2, /**/ -1, 10};
  return d;
}

using Pair = std::optional<std::pair<std::size_t, std::size_t>>;
const Pair kLastCell = std::make_pair(std::size_t{3}, std::size_t{3});

struct Rig {
  WindowSession s;
  MatrixWindow* w = nullptr;
  MatrixView* v = nullptr;
  explicit Rig(MatrixData d = line_of_four()) {
    s.show();
    s.show_matrix(std::move(d));
    w = s.frame().matrix();
    v = w->view();
    s.frame().matrix_window()->resize(420, 420);
    QApplication::processEvents();
  }
  // The centre of the cell (row, column) in display positions.
  QPointF cell_centre(double row, double column) const {
    const QRect a = v->cell_area();
    const double scale = std::min(a.width(), a.height()) / static_cast<double>(v->data()->m);
    return QPointF(a.left() + (column + 0.5) * scale, a.top() + (row + 0.5) * scale);
  }
};

TEST(MatrixWindow, CellsHaveTheColoursOfTheirValues) {
  Rig r;
  const QImage image = r.v->grab().toImage();
  const ValueRange range = value_range(*r.v->data());
  struct Probe {
    int row, column;
    Rgb colour;
  };
  for (const Probe& p : {Probe{0, 0, colour_map(0)}, Probe{3, 0, colour_map(1)}, Probe{2, 1, value_colour(3, range)},
                         Probe{1, 3, kInfinityColour}, Probe{3, 2, kNanColour}}) {
    const QPoint at = r.cell_centre(p.row, p.column).toPoint();
    EXPECT_EQ(QColor(image.pixel(at)), QColor(p.colour.r, p.colour.g, p.colour.b)) << p.row << "," << p.column;
  }
}

void mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

TEST(MatrixWindow, HoverTellsThePairItsValueAndK) {
  Rig r;
  struct Hover {
    int row, column;
    const char* text;
  };
  for (const Hover& h : {Hover{2, 0, "Objects 3 and 1: 4, k = 2"}, Hover{0, 1, "Objects 1 and 2: 1, k = 1"},
                         Hover{1, 3, "Objects 2 and 4: INF, k = 0"}, Hover{3, 2, "Objects 4 and 3: NaN, k = 1"}}) {
    mouse(r.v, QEvent::MouseMove, r.cell_centre(h.row, h.column), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(r.s.frame().statusBar()->currentMessage(), h.text);
  }
  mouse(r.v, QEvent::MouseMove, QPointF(1, 1), Qt::NoButton, Qt::NoButton);  // off the cells
  EXPECT_EQ(r.s.frame().statusBar()->currentMessage(), "");
}

// Twelve objects at 0, 1, ..., 11 on a line.
MatrixData line_of_twelve() {
  MatrixData d;
  d.m = 12;
  d.diag.assign(12, 0);
  for (std::size_t i = 1; i < 12; ++i)
    for (std::size_t j = 0; j < i; ++j) d.triangle.push_back(static_cast<float>(i - j));
  return d;
}

TEST(MatrixWindow, WheelZoomsAboutThePointerAndDraggingPans) {
  Rig r(line_of_twelve());
  const Pair last = std::make_pair(std::size_t{11}, std::size_t{11});
  const QPointF at = r.cell_centre(5, 6);
  ASSERT_EQ(r.v->pair_at(at), std::make_optional(std::make_pair(std::size_t{5}, std::size_t{6})));
  ASSERT_EQ(r.v->pair_at(r.cell_centre(11, 11)), last);
  QWheelEvent in(at, r.v->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                 Qt::NoScrollPhase, false);
  QApplication::sendEvent(r.v, &in);
  EXPECT_EQ(r.v->pair_at(at), std::make_optional(std::make_pair(std::size_t{5}, std::size_t{6})));  // stays
  EXPECT_NE(r.v->pair_at(r.cell_centre(11, 11)), last);  // the cells are larger
  // Dragging left and up brings later objects under a fixed point.
  const QPointF probe = r.v->cell_area().center();
  const auto under = r.v->pair_at(probe);
  ASSERT_TRUE(under.has_value());
  mouse(r.v, QEvent::MouseButtonPress, probe, Qt::LeftButton, Qt::LeftButton);
  mouse(r.v, QEvent::MouseMove, probe - QPointF(60, 60), Qt::NoButton, Qt::LeftButton);
  mouse(r.v, QEvent::MouseButtonRelease, probe - QPointF(60, 60), Qt::LeftButton, Qt::NoButton);
  const auto after = r.v->pair_at(probe);
  ASSERT_TRUE(after.has_value());
  EXPECT_GT(after->first, under->first);
  EXPECT_GT(after->second, under->second);
  // Zooming out never goes past the whole matrix.
  for (int i = 0; i < 10; ++i) r.v->zoom(0.5, probe);
  EXPECT_EQ(r.v->pair_at(r.cell_centre(11, 11)), last);
}

TEST(MatrixWindow, ClusteredOrderWithTheDendrogramAndBack) {
  Rig r;
  const QRect data_area = r.v->cell_area();
  r.w->clustered_action()->trigger();
  ASSERT_TRUE(r.v->wait_for_clustering());
  EXPECT_TRUE(r.v->clustered());
  // The hand-worked order, with INF and NaN standing in for the largest
  // finite distance (10): 3 first, then 2, 0 and 1.
  EXPECT_EQ(r.v->order(), (std::vector<std::size_t>{3, 2, 0, 1}));
  ASSERT_EQ(r.v->merges().size(), 3u);
  EXPECT_EQ(r.v->merges()[0].height, 1);
  EXPECT_GT(r.v->cell_area().left(), data_area.left());  // room for the dendrogram
  mouse(r.v, QEvent::MouseMove, r.cell_centre(0, 1), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(r.s.frame().statusBar()->currentMessage(), "Objects 4 and 3: NaN, k = 1");
  r.w->clustered_action()->trigger();
  EXPECT_EQ(r.v->order(), (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_EQ(r.v->cell_area(), data_area);
}

TEST(MatrixWindow, MenuItemReopensAClosedOrMinimisedMatrixWindow) {
  Rig r;
  QMdiSubWindow* child = r.s.frame().matrix_window();
  QAction* item = r.s.frame().command_action(command::kMatrixChild);
  ASSERT_NE(item, nullptr);
  child->close();
  EXPECT_FALSE(child->isVisible());
  item->trigger();
  EXPECT_TRUE(child->isVisible());
  EXPECT_EQ(r.s.frame().mdi_area()->activeSubWindow(), child);
  child->showMinimized();
  item->trigger();
  EXPECT_FALSE(child->isMinimized());
  // A second run's matrix goes into the same window and item.
  r.s.show_matrix(line_of_four());
  EXPECT_EQ(r.s.frame().mdi_area()->subWindowList().size(), 2);
  EXPECT_EQ(menu_layout(r.s.frame().menuBar()->actions()[2]->menu()), "701 700 702 - 100 101 ");
}

// The picture area of the child window as the user sees it: what the
// child shows where the view lies.
QImage picture_seen(QMdiSubWindow* child, MatrixView* v) {
  return child->grab().toImage().copy(QRect(v->mapTo(child, QPoint(0, 0)), v->size()));
}

TEST(MatrixWindow, ReopenedAfterCloseShowsTheSamePictureWithItsMenu) {
  Rig r(line_of_twelve());
  MainFrame& f = r.s.frame();
  QMdiSubWindow* child = f.matrix_window();
  r.w->clustered_action()->trigger();
  ASSERT_TRUE(r.v->wait_for_clustering());
  r.v->zoom(2.5, r.v->cell_area().center());
  r.v->pan(QPointF(-15, -25));
  f.mdi_area()->setActiveSubWindow(child);
  QApplication::processEvents();
  const QImage before = picture_seen(child, r.v);
  const auto order = r.v->order();
  const auto pair = r.v->pair_at(r.v->cell_area().center());

  child->close();
  QApplication::processEvents();
  EXPECT_FALSE(child->isVisible());
  f.command_action(command::kMatrixChild)->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(child->isVisible());
  EXPECT_TRUE(r.w->isVisible());
  EXPECT_TRUE(r.w->menuBar()->isVisible());
  EXPECT_TRUE(r.w->clustered_action()->isChecked());
  EXPECT_EQ(r.v->order(), order);
  EXPECT_EQ(r.v->pair_at(r.v->cell_area().center()), pair);  // the same zoom and place
  EXPECT_EQ(picture_seen(child, r.v), before);
  // A new run's matrix reopens it as well.
  child->close();
  r.s.show_matrix(line_of_four());
  EXPECT_TRUE(r.w->isVisible());
}

struct ExportCase {
  const char* name;
  const char* file;
  QSize size;  // invalid: the view's
  bool clustered;
};

class MatrixExport : public ::testing::TestWithParam<ExportCase> {};

TEST_P(MatrixExport, OpensAtTheRequestedSize) {
  const auto& c = GetParam();
  Rig r;
  if (c.clustered) r.w->clustered_action()->trigger();
  const fs::path path = scratch(std::string("export_") + c.name) / c.file;
  const QString name = QString::fromStdString(path.string());
  ASSERT_TRUE(r.w->export_picture(name, c.size));
  const QSize want = c.size.isValid() ? c.size : r.v->size();
  if (path.extension() == ".svg") {
    QSvgRenderer svg(name);
    ASSERT_TRUE(svg.isValid());
    // The picture's own units are pixels: its view box is the size.
    EXPECT_EQ(svg.viewBoxF(), QRectF(QPointF(0, 0), QSizeF(want)));
  } else {
    QImage image(name);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), want);
    // Whatever the size, the first cell keeps its colour.
    const Rgb low = colour_map(0);
    const QRect area = r.v->cell_area(want);
    const double cell = std::min(area.width(), area.height()) / 4.0;
    const QPoint first = (c.clustered ? area.topLeft() + QPointF(2.5 * cell, 2.5 * cell)
                                      : area.topLeft() + QPointF(cell / 2, cell / 2))
                             .toPoint();
    EXPECT_EQ(QColor(image.pixel(first)), QColor(low.r, low.g, low.b));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, MatrixExport,
                         ::testing::Values(ExportCase{"png_view", "m.png", QSize(), false},
                                           ExportCase{"png_chosen", "m.png", QSize(1000, 700), false},
                                           ExportCase{"png_clustered", "m.png", QSize(640, 480), true},
                                           ExportCase{"svg_view", "m.svg", QSize(), false},
                                           ExportCase{"svg_chosen", "m.svg", QSize(800, 600), true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MatrixWindow, ExportRefusesBadSizesAndPlaces) {
  Rig r;
  EXPECT_FALSE(r.w->export_picture("/proc/no-such-picture.png"));
  EXPECT_FALSE(r.w->export_picture(QString::fromStdString((scratch("bad") / "m.png").string()), QSize(0, 10)));
}

TEST(MatrixWindow, InconsistentValuesShowNothingAndDoNotFault) {
  MatrixData d = line_of_four();
  d.triangle.pop_back();
  Rig r(std::move(d));
  EXPECT_EQ(r.v->data(), nullptr);
  EXPECT_FALSE(r.v->pair_at(r.v->cell_area().center()).has_value());
  r.w->clustered_action()->trigger();
  EXPECT_FALSE(r.v->wait_for_clustering());
  (void)r.v->grab();
}

}  // namespace
}  // namespace tessora::console
