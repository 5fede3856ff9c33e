#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "base/SpscQueue.h"
#include "engine/midi/BlockTimeline.h"
#include "engine/midi/MidiEvent.h"
#include "engine/midi/MidiTargets.h"

namespace tg {

class MidiClockSync;
class MidiInput;
class QSSignalProcessor;

// Plays MIDI messages on the audio thread: before each block it takes what
// the inputs received, and applies every message due by the block's end
// (parameters at the block's start, Drums' hits at their own sample). Each
// parameter it changed is told to the user-interface thread once a block,
// which records it as the user's edit. It never blocks or allocates.
class MidiDispatcher {
 public:
  static constexpr int kMaxInputs = 4;
  static constexpr size_t kPendingCapacity = 1024;

  // A parameter MIDI moved: the map's generation, the target's place in it
  // and the processor it belongs to (to be compared, never followed).
  struct Change {
    uint64_t generation = 0;
    int target = -1;
    const QSSignalProcessor* processor = nullptr;
  };

  MidiDispatcher();
  ~MidiDispatcher();
  MidiDispatcher(const MidiDispatcher&) = delete;
  MidiDispatcher& operator=(const MidiDispatcher&) = delete;

  // UI thread, holding the engine lock.
  bool Attach(MidiInput* input);
  void Detach(MidiInput* input);
  // The map played from now on; the one before is given back, to be freed
  // after the lock is let go.
  std::unique_ptr<MidiTargetMap> Exchange(std::unique_ptr<MidiTargetMap> map);
  // Where clock messages go (none: they are dropped).
  void SetClockSync(MidiClockSync* sync) { clockSync_ = sync; }
  // A processor leaves the graph: nothing may reach it any more.
  void Forget(const QSSignalProcessor* processor);
  // Audio out starts: what waits is old, and the first fills only prime;
  // of the clock's messages only Start, Stop, Continue and song position
  // still count.
  void Restart(int primingFills);
  // Audio out is stopped: every message waiting is applied now.
  void ApplyNow();

  // Audio thread, under the engine lock.
  void BeginFill(int64_t nowNanoseconds, int64_t firstFrame, int framesPerBuffer);
  void BeforeBlock(int64_t blockFirstFrame);

  // UI thread.
  bool TakeChange(Change& change) { return changes_.Pop(change); }
  // Any thread: messages that found no room.
  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
  const BlockTimeline& Timeline() const { return timeline_; }

 private:
  struct Pending {
    MidiEvent event;
    int64_t due = 0;
  };
  void Gather(int64_t blockFirstFrame, bool live);
  void TakeSync(const MidiEvent& event, int64_t blockFirstFrame, bool live);
  void Apply(const MidiEvent& event, int offset);
  void ApplyPosition(MidiTarget& target, double position);
  void ApplyNote(MidiTarget& target, bool on);
  void Touched(int index);
  void PostTouched();

  std::array<MidiInput*, kMaxInputs> inputs_{};
  MidiClockSync* clockSync_ = nullptr;
  std::unique_ptr<MidiTargetMap> map_;
  BlockTimeline timeline_;
  std::array<Pending, kPendingCapacity> pending_{};
  size_t pendingCount_ = 0;
  std::array<int, 256> touched_{};
  size_t touchedCount_ = 0;
  SpscQueue<Change, 1024> changes_;
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace tg
