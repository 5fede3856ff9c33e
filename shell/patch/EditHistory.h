#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "shell/patch/PatchStep.h"

namespace tg {

// One edit as the user sees it ("Delete 3 Contraptions"), made of the steps
// that do it, undone in reverse order.
struct PatchCommand {
  std::string name;
  std::vector<PatchStep> steps;
  // Edits with the same non-empty key in quick succession become one (the
  // steps of one knob drag); empty: never merged.
  std::string mergeKey;
  std::chrono::steady_clock::time_point lastStep;
};

// The undo stack: the commands done, a cursor between done and undone, and
// the cursor position at the last save. It keeps the newest commands within
// a count and a memory budget, forgetting the oldest. Qt-free; UI thread only.
class EditHistory {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // Steps of one gesture are at most this far apart.
  static constexpr std::chrono::milliseconds kMergeGap{1500};
  // A long session's controller sweeps must not grow the history for ever.
  static constexpr size_t kMaxCommands = 1000;
  static constexpr size_t kMaxBytes = size_t{32} << 20;

  EditHistory();

  // Records a command just done; the undone ones are dropped. Merges it into
  // the last one when their keys agree, the last was done within the gap
  // and undoing it would not pass the saved position.
  void Push(PatchCommand command);
  bool CanUndo() const { return cursor_ > 0; }
  bool CanRedo() const { return cursor_ < commands_.size(); }
  // The command the next Undo or Redo takes; must exist.
  const PatchCommand& NextUndo() const { return commands_[cursor_ - 1]; }
  const PatchCommand& NextRedo() const { return commands_[cursor_]; }
  // Moves the cursor; the caller carries out the steps.
  void StepBack();
  void StepForward();
  // Ends any merging, so the next edit is a command of its own.
  void Seal() { sealed_ = true; }

  void Clear();
  void MarkSaved();
  bool AtSaved() const { return saved_ == static_cast<long>(cursor_); }
  // Commands recorded, undone or redone since this count was last taken
  // (autosave).
  int TakeChangeCount();
  size_t Size() const { return commands_.size(); }
  // About how much memory the commands hold.
  size_t Bytes() const { return bytes_; }
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Heard after every change of the commands, the cursor or the saved
  // position, so what names the next undo never lags behind.
  void SetChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

 private:
  void DropOldest();
  void Changed() const {
    if (changed_) changed_();
  }

  std::vector<PatchCommand> commands_;
  std::vector<size_t> sizes_;  // each command's bytes
  size_t bytes_ = 0;
  size_t cursor_ = 0;
  long saved_ = 0;  // −1: the saved state is no longer reachable
  bool sealed_ = false;
  int changes_ = 0;
  Clock clock_;
  std::function<void()> changed_;
};

}  // namespace tg
