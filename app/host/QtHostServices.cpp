#include "app/host/QtHostServices.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

namespace tg {

namespace {
QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

std::optional<std::string> QtClipboard::Text() const {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return std::nullopt;
  const QString text = clipboard->text();
  if (text.isNull()) return std::nullopt;
  return text.toStdString();
}

void QtClipboard::SetText(std::string_view text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(Q(text));
}

void QtUserMessages::ShowMessage(std::string_view text, std::string_view caption,
                                 MessageIcon icon) {
  QMessageBox box(owner_);
  box.setWindowTitle(Q(caption));
  box.setText(Q(text).trimmed());
  switch (icon) {
    case MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Warning:
    case MessageIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::None:
      break;
  }
  box.exec();
}

}  // namespace tg
