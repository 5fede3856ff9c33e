#pragma once

#include <map>
#include <string>

#include "host/SettingsStore.h"

namespace tg {

// Settings that live as long as the object: for tests and headless tools.
class MemorySettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> ReadString(std::string_view group,
                                        std::string_view key) const override;
  void WriteString(std::string_view group, std::string_view key, std::string_view value) override;
  void Remove(std::string_view group, std::string_view key) override;
  bool HasGroup(std::string_view group) const override;
  size_t Size() const { return values_.size(); }

 private:
  static std::string Key(std::string_view group, std::string_view key);
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace tg
