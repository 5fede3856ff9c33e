#include "host/SettingsStore.h"

#include <charconv>

namespace tg {

std::string SettingsGroup(std::string_view name) {
  return std::string(kSettingsVersion) + "/" + std::string(name);
}

std::optional<int64_t> SettingsStore::ReadInt(std::string_view group, std::string_view key) const {
  const auto text = ReadString(group, key);
  if (!text) return std::nullopt;
  int64_t value = 0;
  const char* end = text->data() + text->size();
  const auto [p, ec] = std::from_chars(text->data(), end, value);
  if (ec != std::errc() || p != end) return std::nullopt;
  return value;
}

void SettingsStore::WriteInt(std::string_view group, std::string_view key, int64_t value) {
  WriteString(group, key, std::to_string(value));
}

std::optional<bool> SettingsStore::ReadBool(std::string_view group, std::string_view key) const {
  const auto text = ReadString(group, key);
  if (!text) return std::nullopt;
  if (*text == "1" || *text == "true") return true;
  if (*text == "0" || *text == "false") return false;
  return std::nullopt;
}

void SettingsStore::WriteBool(std::string_view group, std::string_view key, bool value) {
  WriteString(group, key, value ? "1" : "0");
}

}  // namespace tg
