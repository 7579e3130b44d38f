// The window's dialogs: the save dialog, the warning boxes, the print dialog
// and the printer with its "Printing..." box.
#pragma once

#include <QFont>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "window/core/shell.hpp"
#include "window/core/text_window.hpp"

class QPrinter;

namespace tessora::console {

class WindowDialogs : public Dialogs {
 public:
  WindowDialogs() = default;
  void set_parent(QWidget* parent) { parent_ = parent; }
  void set_print_font(const QFont& font) { print_font_ = font; }

  std::optional<std::string> ask_file_name() override;
  Answer ask(std::string_view question) override;
  void warn(std::string_view message) override;
  std::unique_ptr<PrintTarget> ask_printer() override;

  // The file a file printer writes unless the user names another: the
  // window's caption as one file name in the current folder.
  static QString default_print_file();

  // Lines per page for this printer and the window's font: the printable
  // height over the line height.
  std::size_t lines_per_page(QPrinter& printer) const;

 protected:
  // The print dialog; fills in the printer, returns false when cancelled.
  virtual bool choose_printer(QPrinter& printer);

  QWidget* parent() const { return parent_; }

 private:
  QPointer<QWidget> parent_;
  QFont print_font_;
};

// The system clipboard, as Latin-1 text.
class QtClipboard final : public Clipboard {
 public:
  void set_text(std::string_view text) override;
  std::string text() override;
};

}  // namespace tessora::console
