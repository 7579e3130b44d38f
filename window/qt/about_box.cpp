#include "window/qt/about_box.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/core/texts.hpp"

namespace tessora::console {

namespace {
QString q(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

AboutBox::AboutBox(const SystemInfo& info, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(q(text::kAboutCaption));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(q(text::kAboutTitle), this));

  auto* facts = new QGridLayout;
  const std::pair<const char*, QString> rows[] = {
      {"Page Size", QString::number(info.page_size)},
      {"Minimum Address", q(format_address(info.minimum_address))},
      {"Maximum Address", q(format_address(info.maximum_address))},
      {"Processor Type", QString::number(info.processor_type)},
      {"Number of Processors", QString::number(info.processors)},
  };
  int row = 0;
  for (const auto& [name, value] : rows) {
    facts->addWidget(new QLabel(QString::fromLatin1(name), this), row, 0);
    auto* v = new QLabel(value, this);
    v->setObjectName(QString::fromLatin1(name));
    facts->addWidget(v, row, 1);
    ++row;
  }
  layout->addLayout(facts);

  auto* button = new QPushButton(q(text::kAboutContinue), this);
  button->setDefault(true);
  connect(button, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(button, 0, Qt::AlignHCenter);
}

}  // namespace tessora::console
