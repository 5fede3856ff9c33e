#pragma once

#include <QSettings>
#include <memory>

#include "framework/host/SettingsStore.h"
#include "framework/host/TextClipboard.h"
#include "framework/host/UserMessages.h"

class QWidget;

namespace tg {

// The system clipboard as plain text.
class QtClipboard final : public TextClipboard {
 public:
  std::optional<std::string> Text() const override;
  void SetText(std::string_view text) override;
};

// Message boxes, owned by a window (or none).
class QtUserMessages final : public UserMessages {
 public:
  explicit QtUserMessages(QWidget* owner = nullptr) : owner_(owner) {}
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

 private:
  QWidget* owner_;
};

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
