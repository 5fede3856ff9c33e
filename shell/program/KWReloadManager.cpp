#include "shell/program/KWReloadManager.h"

#include <algorithm>

#include "host/SettingsStore.h"

namespace tg {
namespace {

const std::string& Group() {
  static const std::string group = SettingsGroup("Closed Files");
  return group;
}

std::string Key(int i) { return "File_" + std::to_string(i); }

}  // namespace

void KWReloadManager::Add(const std::string& fileName) {
  if (fileName.empty()) return;
  std::erase(files_, fileName);
  if (files_.size() > kMaxFiles - 1) files_.resize(kMaxFiles - 1);
  files_.insert(files_.begin(), fileName);
}

void KWReloadManager::Load(const SettingsStore& settings) {
  files_.clear();
  for (int i = 0; i < kMaxFiles; ++i) {
    if (auto name = settings.ReadString(Group(), Key(i)); name && !name->empty()) {
      files_.push_back(*name);
    }
  }
}

void KWReloadManager::Store(SettingsStore& settings) const {
  for (int i = 0; i < kMaxFiles; ++i) {
    if (i < static_cast<int>(files_.size())) {
      settings.WriteString(Group(), Key(i), files_[static_cast<size_t>(i)]);
    } else {
      settings.Remove(Group(), Key(i));
    }
  }
}

}  // namespace tg
