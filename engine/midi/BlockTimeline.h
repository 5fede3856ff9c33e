#pragma once

#include <atomic>
#include <cstdint>

namespace tg {

// Where a moment of the steady clock falls among the frames the engine
// renders. Each live fill says when it began and which frame it starts with;
// the timeline keeps the earliest such start it has seen for a frame, rising
// slowly to follow a sound card's clock, so a late wake-up never makes a
// later frame look earlier. A message stamped t is due at the frame whose
// fill time is t plus the fixed latency of one buffer (one block at buffers
// of 256 frames): no frame later than that has been rendered at t, so every
// message is played at its own distance from its time, never early and
// never jittered by where the fills happen to fall.
// Audio thread, or the UI thread holding the engine lock.
class BlockTimeline {
 public:
  static constexpr int64_t kUnknown = INT64_MIN;

  // A stream (re)starts: its first fills only prime the device's queue, all
  // at once, and tell nothing of time.
  void Restart(int primingFills);
  // At the start of each live fill.
  void OnFill(int64_t nowNanoseconds, int64_t firstFrame, int framesPerBuffer);
  // The frame at which a message stamped so is due; kUnknown before the
  // first fill that counts (such messages are due at once).
  int64_t DueFrame(int64_t timeNanoseconds) const;
  // When the fill that renders that frame begins at the earliest, in
  // nanoseconds (the frame's own time, as the sound card keeps it);
  // kUnknown before the first fill that counts.
  int64_t FillTime(int64_t frame) const {
    return known_ ? base_ + FramesToNanoseconds(frame) : kUnknown;
  }
  // The fixed latency, in frames.
  // The fixed latency, in frames (any thread).
  int64_t LatencyFrames() const { return latencyFrames_.load(std::memory_order_relaxed); }
  bool Known() const { return known_; }

  static int64_t FramesToNanoseconds(int64_t frames);

 private:
  int primingLeft_ = 0;
  bool known_ = false;
  int64_t base_ = 0;  // when frame 0 would have been filled, in nanoseconds
  std::atomic<int64_t> latencyFrames_{0};
};

}  // namespace tg
