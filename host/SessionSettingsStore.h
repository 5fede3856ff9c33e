#pragma once

#include <map>
#include <optional>
#include <string>

#include "host/SettingsStore.h"

namespace tg {

// The stored settings as one run sees them: read from the user's store,
// while what the run changes (a device or buffers given on its command line)
// stays with the run and is never written back.
class SessionSettingsStore final : public SettingsStore {
 public:
  explicit SessionSettingsStore(const SettingsStore& stored) : stored_(stored) {}
  std::optional<std::string> ReadString(std::string_view group,
                                        std::string_view key) const override;
  void WriteString(std::string_view group, std::string_view key, std::string_view value) override;
  void Remove(std::string_view group, std::string_view key) override;
  bool HasGroup(std::string_view group) const override;

 private:
  static std::string Key(std::string_view group, std::string_view key);
  const SettingsStore& stored_;
  // A value of this run; nothing where the run removed the stored one.
  std::map<std::string, std::optional<std::string>, std::less<>> changed_;
};

}  // namespace tg
