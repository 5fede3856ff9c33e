#pragma once

#include <string>
#include <vector>

namespace tg {

class SettingsStore;

// The recently closed documents, most recent first, at most ten.
class KWReloadManager {
 public:
  static constexpr int kMaxFiles = 10;

  // An equal entry moves to the front instead of appearing twice.
  void Add(const std::string& fileName);
  const std::vector<std::string>& Files() const { return files_; }

  // "Closed Files": "File_0" … "File_9"; missing values are skipped.
  void Load(const SettingsStore& settings);
  void Store(SettingsStore& settings) const;

 private:
  std::vector<std::string> files_;
};

}  // namespace tg
