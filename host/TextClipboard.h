#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tg {

// The system clipboard as plain text.
class TextClipboard {
 public:
  virtual ~TextClipboard() = default;
  // UI thread: the clipboard's plain text, or nothing when it holds none.
  virtual std::optional<std::string> Text() const = 0;
  // UI thread.
  virtual void SetText(std::string_view text) = 0;
};

}  // namespace tg
