#pragma once

#include <atomic>
#include <cstdint>

#include "base/SpscQueue.h"
#include "engine/midi/MidiEvent.h"

namespace tg {

// What the audio thread and a MIDI system's own thread tell each other about
// the clock. The audio thread hands over the clock messages it plays, each
// with the rendered frame it belongs to; the MIDI system, which sees the
// sound server's cycles, tells which server frame a rendered frame leaves
// the output at (their difference, which stays put while the output plays
// on without a gap), and the newest cycle's first frame. Lock-free both ways.
class MidiClockLink {
 public:
  static constexpr int64_t kUnknown = INT64_MIN;

  struct Message {
    int64_t renderedFrame = 0;
    uint32_t run = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;

    // Played late, a clock would bunch with the next and is better lost;
    // Start, Stop, Continue and song position still go, or a slave never
    // starts or stops.
    bool LostWhenLate() const { return status == MidiEvent::kClock; }
  };

  // Audio thread (or the UI thread priming the output): one producer at a time.
  bool Push(const Message& m) { return toOutput_.Push(m); }
  // Audio out starts: rendered frames count from 0 again.
  uint32_t NewRun() { return run_.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t Run() const { return run_.load(std::memory_order_relaxed); }

  // The MIDI system's thread.
  bool Pop(Message& m) { return toOutput_.Pop(m); }
  void SetServerMinusRendered(int64_t d) {
    serverMinusRendered_.store(d, std::memory_order_relaxed);
  }
  void SetServerFrame(int64_t f) { serverFrame_.store(f, std::memory_order_relaxed); }

  // Any thread.
  int64_t ServerMinusRendered() const {
    return serverMinusRendered_.load(std::memory_order_relaxed);
  }
  int64_t ServerFrame() const { return serverFrame_.load(std::memory_order_relaxed); }

 private:
  SpscQueue<Message, 1024> toOutput_;
  std::atomic<uint32_t> run_{0};
  std::atomic<int64_t> serverMinusRendered_{kUnknown};
  std::atomic<int64_t> serverFrame_{kUnknown};
};

}  // namespace tg
