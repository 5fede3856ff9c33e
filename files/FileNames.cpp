#include "files/FileNames.h"

namespace tg::filenames {

std::string Shortened(std::string_view name, size_t mostBytes) {
  if (name.size() <= mostBytes) return std::string(name);
  size_t end = mostBytes;
  // Back to the first byte of a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return std::string(name.substr(0, end));
}

}  // namespace tg::filenames
