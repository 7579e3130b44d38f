#include "window/qt/dialogs.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "window/core/texts.hpp"
#include "window/qt/text_view.hpp"

namespace tessora::console {

namespace {

QString q(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// A printer while a job runs on it: the frame is disabled and the small
// "Printing..." box offers Cancel, which stops the job at the next line.
class QtPrintTarget final : public PrintTarget {
 public:
  QtPrintTarget(std::unique_ptr<QPrinter> printer, const QFont& font, std::size_t per_page, QWidget* frame)
      : printer_(std::move(printer)), font_(font), per_page_(per_page), frame_(frame) {
    if (printer_->printRange() == QPrinter::PageRange && printer_->fromPage() > 0) {
      range_ = PageRange{static_cast<std::size_t>(printer_->fromPage()),
                         static_cast<std::size_t>(std::max(printer_->toPage(), printer_->fromPage()))};
    }
    // Copies are made here, page by page, so the printer makes one.
    copies_ = std::max(printer_->copyCount(), 1);
    printer_->setCopyCount(1);

    box_ = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    box_->setObjectName(QStringLiteral("PrintingBox"));
    box_->setWindowTitle(q(text::kBoxCaption));
    auto* layout = new QVBoxLayout(box_);
    layout->addWidget(new QLabel(q(text::kPrinting), box_), 0, Qt::AlignHCenter);
    auto* cancel = new QPushButton(q(text::kCancel), box_);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);
    QObject::connect(cancel, &QPushButton::clicked, box_, [this] { cancel_ = true; });
    if (frame_) frame_->setEnabled(false);
    box_->show();
    QCoreApplication::processEvents();
  }

  ~QtPrintTarget() override {
    if (painter_.isActive()) painter_.end();
    delete box_;
    if (frame_) frame_->setEnabled(true);
  }

  std::size_t lines_per_page() const override { return per_page_; }
  std::optional<PageRange> page_range() const override { return range_; }
  int copies() const override { return copies_; }

  bool start_document(std::string_view name) override {
    printer_->setDocName(q(name));
    if (!painter_.begin(printer_.get())) return false;
    painter_.setFont(font_);
    painter_.setPen(Qt::black);
    const QFontMetrics metrics(font_, printer_.get());
    line_height_ = metrics.lineSpacing();
    ascent_ = metrics.ascent();
    return true;
  }
  bool start_page() override {
    if (first_page_) {
      first_page_ = false;  // the painter began the first page
      return true;
    }
    return printer_->newPage();
  }
  void print_line(std::size_t row, std::string_view line) override {
    painter_.drawText(QPoint(0, static_cast<int>(row) * line_height_ + ascent_), display_text(line));
  }
  bool end_page() override { return true; }
  void end_document() override { painter_.end(); }
  void abort_document() override {
    printer_->abort();
    painter_.end();
  }
  bool cancelled() override {
    QCoreApplication::processEvents();
    return cancel_;
  }

 private:
  std::unique_ptr<QPrinter> printer_;
  QFont font_;
  std::size_t per_page_;
  QPointer<QWidget> frame_;
  QDialog* box_ = nullptr;
  QPainter painter_;
  std::optional<PageRange> range_;
  int copies_ = 1;
  int line_height_ = 1;
  int ascent_ = 0;
  bool first_page_ = true;
  bool cancel_ = false;
};

}  // namespace

std::optional<std::string> WindowDialogs::ask_file_name() {
  QFileDialog dialog(parent_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({q(text::kTextFilesFilter), q(text::kAllFilesFilter)});
  dialog.setDefaultSuffix(q(text::kDefaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

Answer WindowDialogs::ask(std::string_view question) {
  QMessageBox box(QMessageBox::Warning, q(text::kBoxCaption), q(question),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::yes;
    case QMessageBox::No: return Answer::no;
    default: return Answer::cancel;
  }
}

void WindowDialogs::warn(std::string_view message) {
  QMessageBox box(QMessageBox::Warning, q(text::kBoxCaption), q(message), QMessageBox::Ok, parent_);
  box.exec();
}

std::size_t WindowDialogs::lines_per_page(QPrinter& printer) const {
  const QFontMetrics metrics(print_font_, &printer);
  return console::lines_per_page(printer.height(), metrics.lineSpacing());
}

bool WindowDialogs::choose_printer(QPrinter& printer) {
  QPrintDialog dialog(&printer, parent_);
  // The dialog makes its own file name from the document name when the
  // printer has none; a printer chosen later in the list gets ours too.
  if (auto* file = dialog.findChild<QLineEdit*>(QStringLiteral("filename"))) file->setText(default_print_file());
  dialog.setMinMax(1, 32767);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  return dialog.exec() == QDialog::Accepted;
}

QString WindowDialogs::default_print_file() {
  return QDir::current().absoluteFilePath(QString::fromStdString(print_file_name(text::kTextWindowCaption)));
}

std::unique_ptr<PrintTarget> WindowDialogs::ask_printer() {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setFromTo(1, 1);
  printer->setCopyCount(1);
  // The job keeps its document name; the file that a file printer writes is
  // named apart from it, as the name holds a "/".
  printer->setDocName(q(text::kPrintDocument));
  if (printer->outputFormat() == QPrinter::PdfFormat) printer->setOutputFileName(default_print_file());
  if (!choose_printer(*printer)) return nullptr;
  const std::size_t per_page = lines_per_page(*printer);
  return std::make_unique<QtPrintTarget>(std::move(printer), print_font_, per_page, parent_.data());
}

void QtClipboard::set_text(std::string_view text) { QGuiApplication::clipboard()->setText(q(text)); }

std::string QtClipboard::text() { return QGuiApplication::clipboard()->text().toLatin1().toStdString(); }

}  // namespace tessora::console
