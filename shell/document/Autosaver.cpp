#include "shell/document/Autosaver.h"

#include <utility>

namespace tg {

Autosaver::Autosaver(RecoveryFiles& files, std::function<std::string()> name,
                     std::function<std::string()> text)
    : files_(files), name_(std::move(name)), text_(std::move(text)) {}

bool Autosaver::Tick(bool modified, int newCommands, Clock::time_point now) {
  if (!modified) {
    // Our copy goes whoever wrote it: a restore writes one too. Cheap when none.
    files_.RemoveOwn();
    hasCopy_ = false;
    changed_ = false;
    commands_ = 0;
    lastWrite_ = now;
    return false;
  }
  if (!hasCopy_ && !changed_) lastWrite_ = now;  // the first unsaved change starts the clock
  commands_ += newCommands;
  changed_ = changed_ || newCommands > 0 || !hasCopy_;
  if (!changed_ || (commands_ < kCommands && now - lastWrite_ < kInterval)) return false;
  // A failed write is tried again at the next tick.
  if (!files_.Write(name_(), text_())) return false;
  hasCopy_ = true;
  changed_ = false;
  commands_ = 0;
  lastWrite_ = now;
  return true;
}

}  // namespace tg
