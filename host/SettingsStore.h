#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tg {

// The program's persistent settings, by group ("0.7/SFPaths") and key: the
// windowed program keeps them with QSettings, headless tools and tests in
// memory or in a file of their own.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::optional<std::string> ReadString(std::string_view group,
                                                std::string_view key) const = 0;
  virtual void WriteString(std::string_view group, std::string_view key,
                           std::string_view value) = 0;
  virtual void Remove(std::string_view group, std::string_view key) = 0;
  virtual bool HasGroup(std::string_view group) const = 0;
  // Puts what was written on the disk now, so that it outlives a killed program.
  virtual void Sync() {}

  // An integer, or nothing when the value is missing or not a whole number.
  std::optional<int64_t> ReadInt(std::string_view group, std::string_view key) const;
  void WriteInt(std::string_view group, std::string_view key, int64_t value);
  // A bool stored as 0 or 1 (also "true" or "false"); nothing otherwise.
  std::optional<bool> ReadBool(std::string_view group, std::string_view key) const;
  void WriteBool(std::string_view group, std::string_view key, bool value);
};

// The settings root of this version of the program.
inline constexpr std::string_view kSettingsVersion = "0.7";
std::string SettingsGroup(std::string_view name);

}  // namespace tg
