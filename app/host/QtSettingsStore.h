#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "host/SettingsStore.h"

namespace tg {

// Settings kept with QSettings: by default the user's own for "Kestrelworks"
// / "Tonegarden"; or an INI file (tests, portable use).
class QtSettingsStore final : public SettingsStore {
 public:
  QtSettingsStore();
  explicit QtSettingsStore(const QString& iniFile);
  std::optional<std::string> ReadString(std::string_view group,
                                        std::string_view key) const override;
  void WriteString(std::string_view group, std::string_view key, std::string_view value) override;
  void Remove(std::string_view group, std::string_view key) override;
  bool HasGroup(std::string_view group) const override;
  void Sync() override { settings_->sync(); }

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace tg
