#pragma once

#include <string_view>

namespace tg {

enum class MessageIcon { None, Information, Warning, Exclamation, Error };

// Shows the user a message with a caption: a message box in the program, a
// line on the terminal for headless tools.
class UserMessages {
 public:
  virtual ~UserMessages() = default;
  // UI thread.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
};

}  // namespace tg
