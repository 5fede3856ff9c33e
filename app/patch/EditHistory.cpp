#include "app/patch/EditHistory.h"

#include <utility>

namespace tg {

EditHistory::EditHistory() : clock_([] { return std::chrono::steady_clock::now(); }) {}

void EditHistory::Push(PatchCommand command) {
  const auto now = clock_();
  command.lastStep = now;
  ++recorded_;
  if (cursor_ < commands_.size()) {
    commands_.erase(commands_.begin() + static_cast<long>(cursor_), commands_.end());
    if (saved_ > static_cast<long>(cursor_)) saved_ = -1;
  }
  if (!sealed_ && cursor_ > 0 && !command.mergeKey.empty() &&
      saved_ != static_cast<long>(cursor_)) {
    PatchCommand& last = commands_[cursor_ - 1];
    if (last.mergeKey == command.mergeKey && now - last.lastStep <= kMergeGap) {
      // Only State and Move steps merge: the first step's before, this one's after.
      for (size_t i = 0; i < last.steps.size() && i < command.steps.size(); ++i) {
        PatchStep& into = last.steps[i];
        const PatchStep& from = command.steps[i];
        into.after = from.after;
        into.toX = from.toX;
        into.toY = from.toY;
        into.tempoAfter = from.tempoAfter;
        into.layoutAfter = from.layoutAfter;
      }
      last.lastStep = now;
      return;
    }
  }
  commands_.push_back(std::move(command));
  cursor_ = commands_.size();
  sealed_ = false;
}

void EditHistory::Clear() {
  commands_.clear();
  cursor_ = 0;
  saved_ = 0;
  sealed_ = false;
  recorded_ = 0;
}

int EditHistory::TakeRecordedCount() { return std::exchange(recorded_, 0); }

}  // namespace tg
