#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "shell/document/RecoveryFiles.h"

namespace tg {

// Keeps a recovery copy of the document while it has unsaved changes:
// written every 30 seconds when something changed since the last copy, and
// at once after 50 commands; removed once the document is saved or back at
// its saved state. Qt-free; the window's timer calls Tick.
class Autosaver {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kInterval{30};
  static constexpr int kCommands = 50;

  // name: the document's file name (empty: untitled); text: its text now.
  Autosaver(RecoveryFiles& files, std::function<std::string()> name,
            std::function<std::string()> text);

  // newCommands: commands recorded, undone or redone since the last call.
  // Answers whether a copy was written.
  bool Tick(bool modified, int newCommands, Clock::time_point now);
  // The program closes cleanly: no copy is left behind.
  void Close() { files_.RemoveOwn(); }
  bool HasCopy() const { return hasCopy_; }

 private:
  RecoveryFiles& files_;
  std::function<std::string()> name_;
  std::function<std::string()> text_;
  Clock::time_point lastWrite_{};
  int commands_ = 0;
  bool changed_ = false;
  bool hasCopy_ = false;
};

}  // namespace tg
