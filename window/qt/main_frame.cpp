#include "window/qt/main_frame.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QScreen>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <algorithm>

#include "window/core/system_info.hpp"
#include "window/core/texts.hpp"
#include "window/qt/about_box.hpp"
#include "window/qt/matrix_window.hpp"
#include "window/qt/text_view.hpp"

// The icons are compiled into this static library; registering them here
// keeps the linker from leaving them out.
static void init_icons() { Q_INIT_RESOURCE(icons); }

namespace tessora::console {

namespace {
QString q(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// The title bar of a window that cannot be closed alone: its close button
// is drawn greyed, washed over in the colour of the bar, and never looks
// pressed.
class NoCloseStyle final : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    const auto* bar = qstyleoption_cast<const QStyleOptionTitleBar*>(option);
    if (control != CC_TitleBar || !bar) {
      QProxyStyle::drawComplexControl(control, option, painter, widget);
      return;
    }
    QStyleOptionTitleBar plain(*bar);
    plain.activeSubControls &= ~SC_TitleBarCloseButton;
    QProxyStyle::drawComplexControl(control, &plain, painter, widget);
    if (!(plain.subControls & SC_TitleBarCloseButton)) return;
    const QRect button = subControlRect(CC_TitleBar, &plain, SC_TitleBarCloseButton, widget);
    if (!button.isValid()) return;
    const bool active = plain.titleBarState & State_Active;
    QColor wash = active ? plain.palette.color(QPalette::Highlight) : plain.palette.color(QPalette::Window);
    wash.setAlpha(170);
    painter->fillRect(button, wash);
  }
};

constexpr int kMargin = 15;              // between the child windows and the client area's edges
constexpr int kMatrixWidth = 440;        // the Matrix window's width wanted beside the text window
constexpr int kMatrixLeast = 300;        // less room than this beside it: one step down and right
constexpr int kCascadeStep = 30;
}  // namespace

MainFrame::MainFrame(TextWindow& window, QWidget* parent) : QMainWindow(parent), window_(window) {
  init_icons();
  setObjectName(QStringLiteral("MDIFRAME"));
  // The caption is the program file's own name.
  setWindowTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  setWindowIcon(QIcon(QStringLiteral(":/tessora/frame.png")));
  resize(800, 560);
  if (QScreen* shown_on = screen()) resize(size().boundedTo(shown_on->availableGeometry().size()));

  mdi_ = new QMdiArea(this);
  mdi_->setObjectName(QStringLiteral("MDICLIENT"));
  setCentralWidget(mdi_);

  view_ = new TextView(window_);
  child_ = new QMdiSubWindow;
  child_->setObjectName(QStringLiteral("MDICHILD"));
  child_->setWidget(view_);
  child_->setAttribute(Qt::WA_DeleteOnClose, false);
  // The text window cannot be closed alone: no close button, and its system
  // menu's Close greyed.
  child_->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinMaxButtonsHint);
  child_->setWindowTitle(q(text::kTextWindowCaption));
  child_->setWindowIcon(QIcon(QStringLiteral(":/tessora/text.png")));
  text_window_style_ = new NoCloseStyle(QStyleFactory::create(QApplication::style()->name()));
  text_window_style_->setParent(this);
  child_->setStyle(text_window_style_);
  child_->installEventFilter(this);
  mdi_->addSubWindow(child_);
  if (QMenu* system = child_->systemMenu()) {
    for (QAction* a : system->actions()) {
      if (a->shortcut() == QKeySequence(QKeySequence::Close) || a->text().contains(QStringLiteral("Close"))) {
        a->setEnabled(false);
      }
    }
  }
  child_->setGeometry(15, 15, 600, 300);
  child_->show();
  view_->setFocus();

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ComputationProgress"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(240);
  progress_->setFormat(QStringLiteral("Computing %p%"));
  progress_->hide();
  statusBar()->addPermanentWidget(progress_);

  build_menus();
  window_.subscribe([this](unsigned what) {
    if (what & change::kEditState) update_edit_commands();
  });
  update_edit_commands();
}

MainFrame::~MainFrame() {
  // The style goes with the frame's children, perhaps before the window
  // that uses it.
  child_->setStyle(nullptr);
}

void MainFrame::build_menus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  // The accelerator table: the items that have a key of their own.
  auto* accelerators = new QObject(this);
  accelerators->setObjectName(QStringLiteral("MDIAccel"));

  auto add = [&](QMenu* menu, int id, const char* label, const char* keys, auto slot) {
    auto* action = new QAction(QString::fromLatin1(label), keys ? accelerators : static_cast<QObject*>(menu));
    action->setData(id);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    if (keys) action->setShortcut(QKeySequence(QString::fromLatin1(keys)));
    connect(action, &QAction::triggered, this, slot);
    menu->addAction(action);
    actions_[id] = action;
    return action;
  };

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  add(file, command::kSave, "&Save", nullptr, [this] { if (host_) host_->save(); });
  add(file, command::kSaveAs, "Save As...", nullptr, [this] { if (host_) host_->save_as(); });
  file->addSeparator();
  add(file, command::kPrint, "Print...", nullptr, [this] { if (host_) host_->print(); });
  file->addSeparator();
  add(file, command::kAbout, "&About...", nullptr, [this] { show_about(); });
  file->addSeparator();
  add(file, command::kExit, "E&xit", nullptr, [this] { close(); });

  QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
  add(edit, command::kUndo, "&Undo\tCtrl+Z", "Ctrl+Z", [] {})->setEnabled(false);
  edit->addSeparator();
  add(edit, command::kCut, "Cu&t\tCtrl+X", "Ctrl+X", [this] { window_.cut(clipboard_); });
  add(edit, command::kCopy, "&Copy\tCtrl+C", "Ctrl+C", [this] { window_.copy(clipboard_); });
  add(edit, command::kPaste, "&Paste\tCtrl+V", "Ctrl+V", [this] { window_.paste(clipboard_); });
  add(edit, command::kDelete, "De&lete", nullptr, [this] { window_.delete_selection(); });

  QMenu* windows = bar->addMenu(QStringLiteral("&Window"));
  window_menu_ = windows;
  add(windows, command::kCascade, "&Cascade\tShift+F5", "Shift+F5", [this] { mdi_->cascadeSubWindows(); });
  add(windows, command::kTile, "&Tile\tShift+F4", "Shift+F4", [this] { mdi_->tileSubWindows(); });
  add(windows, command::kArrangeIcons, "&Arrange Icons", nullptr, [this] { arrange_icons(); });
  windows->addSeparator();
  // The list of child windows; the text window is the first and only one.
  QAction* child = add(windows, command::kFirstChild, "&1 Input/Output", nullptr, [this] {
    // A minimised text window comes back at its size before.
    if (child_->isMinimized()) child_->showNormal();
    mdi_->setActiveSubWindow(child_);
    view_->setFocus();
    actions_[command::kFirstChild]->setChecked(true);
  });
  child->setCheckable(true);
  child->setChecked(true);
  watch_menus(bar);
}

void MainFrame::watch_menus(QMenuBar* bar) {
  for (QAction* top : bar->actions()) {
    if (QMenu* menu = top->menu()) {
      // Once the menu has gone and the next one (arrow keys) is up, if any.
      connect(menu, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, [this] { after_menu(); }); });
    }
  }
}

void MainFrame::after_menu() {
  if (QApplication::activePopupWidget()) return;  // another menu is open
  if (!qobject_cast<QMenuBar*>(QApplication::focusWidget())) return;
  mdi_->setActiveSubWindow(child_);
  view_->setFocus();
}

void MainFrame::show_matrix(std::shared_ptr<const MatrixData> data) {
  const bool first = matrix_child_ == nullptr;
  if (first) {
    matrix_ = new MatrixWindow;
    matrix_child_ = new QMdiSubWindow;
    matrix_child_->setObjectName(QStringLiteral("MatrixChild"));
    matrix_child_->setWidget(matrix_);
    matrix_child_->setAttribute(Qt::WA_DeleteOnClose, false);
    matrix_child_->setWindowTitle(QStringLiteral("Matrix"));
    matrix_child_->setWindowIcon(QIcon(QStringLiteral(":/tessora/text.png")));
    mdi_->addSubWindow(matrix_child_);
    connect(matrix_->view(), &MatrixView::hovered, this, [this](const QString& text) {
      if (text.isEmpty()) {
        statusBar()->clearMessage();
      } else {
        statusBar()->showMessage(text);
      }
    });
    watch_menus(matrix_->menuBar());
    // Window > 2 Matrix, after the text window's item.
    QAction* item = new QAction(QStringLiteral("&2 Matrix"), window_menu_);
    item->setData(command::kMatrixChild);
    item->setObjectName(QStringLiteral("command%1").arg(command::kMatrixChild));
    connect(item, &QAction::triggered, this, [this] { reopen_matrix(); });
    window_menu_->addAction(item);
    actions_[command::kMatrixChild] = item;
  }
  matrix_->view()->set_data(std::move(data));
  matrix_->show();  // closing the child window hid it
  if (first) place_matrix_window();
  matrix_child_->show();
  if (matrix_child_->isMinimized()) matrix_child_->showNormal();
  // The text window keeps the keyboard.
  mdi_->setActiveSubWindow(child_);
  view_->setFocus();
}

void MainFrame::place_matrix_window() {
  const QRect text = child_->geometry();
  const int x = text.right() + 11;
  // The menu, status bar and borders around the client area.
  const QSize around = size() - mdi_->viewport()->size();
  QSize frame = size();
  if (!isMaximized() && !isFullScreen()) {
    // Room beside the text window: the frame grows for it, but never past
    // the screen. (A window manager may take its time to follow; the
    // children are placed for the size asked for.)
    frame = QSize(std::max(width(), x + kMatrixWidth + kMargin + around.width()), std::max(height(), 560));
    if (QScreen* shown_on = screen()) {
      const QSize decoration = frameGeometry().size() - size();
      frame = frame.boundedTo(shown_on->availableGeometry().size() - decoration);
    }
    if (frame != size()) resize(frame);
    keep_on_screen(frame);
  }
  const QSize client = frame - around;
  QRect room(x, text.top(), client.width() - x - kMargin, client.height() - text.top() - kMargin);
  if (room.width() < kMatrixLeast) {
    room = QRect(text.left() + kCascadeStep, text.top() + kCascadeStep, client.width() - text.left() - kCascadeStep - kMargin,
                 client.height() - text.top() - kCascadeStep - kMargin);
  }
  // The picture's size within the room, and the child's frame and menu
  // around it.
  matrix_child_->setGeometry(room);
  matrix_child_->show();
  const QSize chrome = matrix_child_->size() - matrix_->view()->size();
  const QSize view = matrix_->view()->fitting_size(room.size() - chrome);
  matrix_child_->setGeometry(QRect(room.topLeft(), view + chrome));
}

void MainFrame::keep_on_screen(QSize frame) {
  QScreen* shown_on = screen();
  if (!shown_on) return;
  const QRect area = shown_on->availableGeometry();
  const QRect outer(frameGeometry().topLeft(), frame + (frameGeometry().size() - size()));
  const int x = std::clamp(outer.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
  const int y = std::clamp(outer.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (x != outer.x() || y != outer.y()) move(x, y);
}

void MainFrame::reopen_matrix() {
  if (!matrix_child_) return;
  matrix_->show();  // closing the child window hid it
  if (matrix_child_->isMinimized()) {
    matrix_child_->showNormal();
  } else {
    matrix_child_->show();
  }
  mdi_->setActiveSubWindow(matrix_child_);
}

QAction* MainFrame::command_action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainFrame::attach(WindowHost& host) {
  host_ = &host;
  host.on_caption_changed = [this] { caption_changed(); };
  host.on_progress = [this](double fraction) { show_progress(fraction); };
}

void MainFrame::caption_changed() {
  const QString caption = QFile::decodeName(QByteArray::fromStdString(host_->caption()));
  child_->setWindowTitle(caption);
  actions_[command::kFirstChild]->setText(QStringLiteral("&1 ") + caption);
}

void MainFrame::update_edit_commands() {
  const EditState s = window_.edit_state();
  actions_[command::kUndo]->setEnabled(s.undo);
  actions_[command::kCut]->setEnabled(s.cut);
  actions_[command::kCopy]->setEnabled(s.copy);
  actions_[command::kPaste]->setEnabled(s.paste);
  actions_[command::kDelete]->setEnabled(s.del);
}

void MainFrame::show_progress(double fraction) {
  if (fraction < 0) {
    progress_->hide();
    statusBar()->clearMessage();
    return;
  }
  progress_->setValue(static_cast<int>(fraction * 1000 + 0.5));
  progress_->show();
}

void MainFrame::arrange_icons() {
  // Minimised windows go in a row along the bottom of the client area.
  int x = 0;
  for (QMdiSubWindow* w : mdi_->subWindowList()) {
    if (!w->isMinimized()) continue;
    const QSize size = w->size();
    w->move(x, mdi_->viewport()->height() - size.height());
    x += size.width();
  }
}

void MainFrame::show_about() {
  AboutBox box(system_info(), this);
  box.exec();
}

void MainFrame::closeEvent(QCloseEvent* event) {
  if (!host_ || host_->close_requested()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
  // The text window goes only with the frame.
  if (watched == child_ && event->type() == QEvent::Close) {
    event->ignore();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tessora::console
