#include "host/SessionSettingsStore.h"

namespace tg {

std::string SessionSettingsStore::Key(std::string_view group, std::string_view key) {
  std::string k(group);
  k.push_back('/');
  k.append(key);
  return k;
}

std::optional<std::string> SessionSettingsStore::ReadString(std::string_view group,
                                                            std::string_view key) const {
  if (const auto it = changed_.find(Key(group, key)); it != changed_.end()) return it->second;
  return stored_.ReadString(group, key);
}

void SessionSettingsStore::WriteString(std::string_view group, std::string_view key,
                                       std::string_view value) {
  changed_[Key(group, key)] = std::string(value);
}

void SessionSettingsStore::Remove(std::string_view group, std::string_view key) {
  changed_[Key(group, key)] = std::nullopt;
}

bool SessionSettingsStore::HasGroup(std::string_view group) const {
  const std::string prefix = std::string(group) + '/';
  for (const auto& [key, value] : changed_) {
    if (key.starts_with(prefix) && value) return true;
  }
  return stored_.HasGroup(group);
}

}  // namespace tg
