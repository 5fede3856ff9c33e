#pragma once

#include "host/TextClipboard.h"

namespace tg {

// A clipboard of the program's own, for headless use and tests.
class MemoryClipboard final : public TextClipboard {
 public:
  std::optional<std::string> Text() const override { return text_; }
  void SetText(std::string_view text) override;
  void Clear() { text_.reset(); }

 private:
  std::optional<std::string> text_;
};

}  // namespace tg
