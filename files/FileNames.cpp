#include "files/FileNames.h"

#include <filesystem>
#include <system_error>

namespace tg::filenames {

std::string Shortened(std::string_view name, size_t mostBytes) {
  if (name.size() <= mostBytes) return std::string(name);
  size_t end = mostBytes;
  // Back to the first byte of a character: continuation bytes are 10xxxxxx.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return std::string(name.substr(0, end));
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  const auto normal = [](const std::string& p) {
    std::error_code ignored;
    return std::filesystem::absolute(std::filesystem::path(p), ignored).lexically_normal();
  };
  return normal(a) == normal(b);
}

}  // namespace tg::filenames
