// The About box: the framework's name and the machine's memory and processors.
#pragma once

#include <QDialog>

#include "window/core/system_info.hpp"

namespace tessora::console {

class AboutBox final : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(const SystemInfo& info, QWidget* parent = nullptr);
};

}  // namespace tessora::console
