#include "window/qt/matrix_window.hpp"

#include <QAction>
#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include "window/core/texts.hpp"

namespace tessora::console {

MatrixWindow::MatrixWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("MatrixWindow"));
  view_ = new MatrixView(this);
  view_->setObjectName(QStringLiteral("MatrixView"));
  setCentralWidget(view_);

  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  export_ = file->addAction(QStringLiteral("&Export Picture..."), this, [this] { ask_export(); });
  QMenu* show = bar->addMenu(QStringLiteral("&View"));
  clustered_ = show->addAction(QStringLiteral("&Clustered Order"));
  clustered_->setCheckable(true);
  connect(clustered_, &QAction::toggled, view_, [this](bool on) { view_->set_clustered(on); });
  connect(view_, &MatrixView::order_changed, this, [this] {
    // A clustering that could not be done unticks the item.
    if (clustered_->isChecked() != view_->clustering_wanted()) clustered_->setChecked(view_->clustering_wanted());
  });
  whole_ = show->addAction(QStringLiteral("&Whole Matrix"), view_, [this] { view_->show_whole(); });
}

bool MatrixWindow::export_picture(const QString& path, QSize size) {
  if (!size.isValid()) size = view_->size();
  if (size.width() < 1 || size.height() < 1 || size.width() > 20000 || size.height() > 20000) return false;
  if (view_->clustering_wanted()) view_->wait_for_clustering();
  if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Resemblance matrix"));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    view_->render(painter, size);
    return painter.end();
  }
  QImage image(size, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    view_->render(painter, size);
  }
  return image.save(path, "PNG");
}

void MatrixWindow::ask_export() {
  QFileDialog files(this, QStringLiteral("Export Picture"));
  files.setOption(QFileDialog::DontUseNativeDialog);
  files.setAcceptMode(QFileDialog::AcceptSave);
  files.setNameFilters({QStringLiteral("PNG Picture (*.png)"), QStringLiteral("SVG Picture (*.svg)")});
  files.setDefaultSuffix(QStringLiteral("png"));
  connect(&files, &QFileDialog::filterSelected, &files, [&files](const QString& filter) {
    files.setDefaultSuffix(filter.contains(QStringLiteral("svg")) ? QStringLiteral("svg") : QStringLiteral("png"));
  });
  if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty()) return;
  const QString path = files.selectedFiles().front();

  // The size: the view's, or one of the user's.
  QDialog ask(this);
  ask.setObjectName(QStringLiteral("ExportSize"));
  ask.setWindowTitle(QStringLiteral("Picture Size"));
  auto* layout = new QVBoxLayout(&ask);
  auto* as_view = new QRadioButton(
      QStringLiteral("Size of the view (%1 x %2)").arg(view_->width()).arg(view_->height()), &ask);
  auto* chosen = new QRadioButton(QStringLiteral("Chosen size:"), &ask);
  as_view->setChecked(true);
  auto* form = new QFormLayout;
  auto* width = new QSpinBox(&ask);
  auto* height = new QSpinBox(&ask);
  for (QSpinBox* box : {width, height}) box->setRange(16, 20000);
  width->setObjectName(QStringLiteral("ExportWidth"));
  height->setObjectName(QStringLiteral("ExportHeight"));
  width->setValue(std::max(view_->width(), 16));
  height->setValue(std::max(view_->height(), 16));
  form->addRow(QStringLiteral("Width (pixels)"), width);
  form->addRow(QStringLiteral("Height (pixels)"), height);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
  connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
  layout->addWidget(as_view);
  layout->addWidget(chosen);
  layout->addLayout(form);
  layout->addWidget(buttons);
  if (ask.exec() != QDialog::Accepted) return;
  const QSize size = chosen->isChecked() ? QSize(width->value(), height->value()) : QSize();
  if (!export_picture(path, size)) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(text::kBoxCaption.data(), text::kBoxCaption.size()),
                    QString::fromLatin1(text::kCannotCreate.data(), text::kCannotCreate.size()), QMessageBox::Ok, this);
    box.exec();
  }
}

}  // namespace tessora::console
