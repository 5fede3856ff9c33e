#include "host/MemoryClipboard.h"

namespace tg {

void MemoryClipboard::SetText(std::string_view text) { text_ = std::string(text); }

}  // namespace tg
