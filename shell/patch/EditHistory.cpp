#include "shell/patch/EditHistory.h"

#include <utility>

namespace tg {

namespace {

size_t SnapshotBytes(const ContraptionSnapshot& snapshot) {
  size_t bytes = 0;
  for (const std::string& text : snapshot.parameters) bytes += sizeof text + text.capacity();
  for (const std::string& text : snapshot.presets) bytes += sizeof text + text.capacity();
  return bytes;
}

size_t CommandBytes(const PatchCommand& command) {
  size_t bytes = sizeof command + command.name.capacity() + command.mergeKey.capacity();
  for (const PatchStep& step : command.steps) {
    bytes += sizeof step + step.item.capacity() + step.source.capacity() +
             step.destination.capacity() + SnapshotBytes(step.before) + SnapshotBytes(step.after);
  }
  return bytes;
}

}  // namespace

EditHistory::EditHistory() : clock_([] { return std::chrono::steady_clock::now(); }) {}

void EditHistory::Push(PatchCommand command) {
  const auto now = clock_();
  command.lastStep = now;
  ++changes_;
  if (cursor_ < commands_.size()) {
    commands_.erase(commands_.begin() + static_cast<long>(cursor_), commands_.end());
    for (size_t i = cursor_; i < sizes_.size(); ++i) bytes_ -= sizes_[i];
    sizes_.resize(cursor_);
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
      bytes_ -= sizes_.back();
      sizes_.back() = CommandBytes(last);
      bytes_ += sizes_.back();
      Changed();
      return;
    }
  }
  sizes_.push_back(CommandBytes(command));
  bytes_ += sizes_.back();
  commands_.push_back(std::move(command));
  cursor_ = commands_.size();
  sealed_ = false;
  // The newest command stays, however large: it is the one the user may undo.
  while (commands_.size() > 1 && (commands_.size() > kMaxCommands || bytes_ > kMaxBytes))
    DropOldest();
  Changed();
}

void EditHistory::DropOldest() {
  commands_.erase(commands_.begin());
  bytes_ -= sizes_.front();
  sizes_.erase(sizes_.begin());
  --cursor_;
  // The saved state went with it: only a new save is unmodified again.
  saved_ = saved_ > 0 ? saved_ - 1 : -1;
}

// Undo and redo change the document as much as an edit: autosave keeps them.
void EditHistory::StepBack() {
  --cursor_;
  ++changes_;
  Changed();
}

void EditHistory::StepForward() {
  ++cursor_;
  ++changes_;
  Changed();
}

void EditHistory::MarkSaved() {
  saved_ = static_cast<long>(cursor_);
  Seal();
  Changed();
}

void EditHistory::Clear() {
  commands_.clear();
  sizes_.clear();
  bytes_ = 0;
  cursor_ = 0;
  saved_ = 0;
  sealed_ = false;
  changes_ = 0;
  Changed();
}

int EditHistory::TakeChangeCount() { return std::exchange(changes_, 0); }

}  // namespace tg
