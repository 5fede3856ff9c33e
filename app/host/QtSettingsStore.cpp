#include "app/host/QtSettingsStore.h"

namespace tg {

namespace {
QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
QString Key(std::string_view group, std::string_view key) { return Q(group) + "/" + Q(key); }
}  // namespace

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
