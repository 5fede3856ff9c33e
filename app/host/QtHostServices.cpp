#include "app/host/QtHostServices.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

namespace tg {

namespace {
QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
QString Key(std::string_view group, std::string_view key) { return Q(group) + "/" + Q(key); }
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

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>("Kestrelworks", "Tonegarden")) {}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

std::optional<std::string> QtSettingsStore::ReadString(std::string_view group,
                                                       std::string_view key) const {
  const QVariant value = settings_->value(Key(group, key));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toStdString();
}

void QtSettingsStore::WriteString(std::string_view group, std::string_view key,
                                  std::string_view value) {
  settings_->setValue(Key(group, key), Q(value));
}

void QtSettingsStore::Remove(std::string_view group, std::string_view key) {
  settings_->remove(Key(group, key));
}

bool QtSettingsStore::HasGroup(std::string_view group) const {
  settings_->beginGroup(Q(group));
  const bool has = !settings_->allKeys().isEmpty();
  settings_->endGroup();
  return has;
}

}  // namespace tg
