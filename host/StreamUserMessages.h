#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/UserMessages.h"

namespace tg {

// Headless messages: each becomes a line "caption: text" on a stream, and the
// last few are kept so that a caller can ask what was said.
class StreamUserMessages final : public UserMessages {
 public:
  struct Message {
    std::string text;
    std::string caption;
    MessageIcon icon;
  };
  // out may be null to only keep the messages.
  explicit StreamUserMessages(std::ostream* out) : out_(out) {}
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  const std::vector<Message>& Messages() const { return messages_; }

 private:
  std::ostream* out_;
  std::vector<Message> messages_;
};

}  // namespace tg
