#include "host/StreamUserMessages.h"

#include <ostream>

namespace tg {

void StreamUserMessages::ShowMessage(std::string_view text, std::string_view caption,
                                     MessageIcon icon) {
  constexpr size_t kKept = 32;
  if (messages_.size() == kKept) messages_.erase(messages_.begin());
  messages_.push_back({std::string(text), std::string(caption), icon});
  if (out_ != nullptr) *out_ << caption << ": " << text << std::endl;
}

}  // namespace tg
