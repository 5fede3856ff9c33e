#include "host/MemorySettingsStore.h"

namespace tg {

std::string MemorySettingsStore::Key(std::string_view group, std::string_view key) {
  return std::string(group) + "/" + std::string(key);
}

std::optional<std::string> MemorySettingsStore::ReadString(std::string_view group,
                                                           std::string_view key) const {
  auto it = values_.find(Key(group, key));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void MemorySettingsStore::WriteString(std::string_view group, std::string_view key,
                                      std::string_view value) {
  values_[Key(group, key)] = std::string(value);
}

void MemorySettingsStore::Remove(std::string_view group, std::string_view key) {
  values_.erase(Key(group, key));
}

bool MemorySettingsStore::HasGroup(std::string_view group) const {
  const std::string prefix = std::string(group) + "/";
  auto it = values_.lower_bound(prefix);
  return it != values_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace tg
