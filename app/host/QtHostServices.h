#pragma once

#include <memory>

#include "app/host/QtSettingsStore.h"
#include "host/SettingsStore.h"
#include "host/TextClipboard.h"
#include "host/UserMessages.h"

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

}  // namespace tg
