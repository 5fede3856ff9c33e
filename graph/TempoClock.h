#pragma once

#include <atomic>

#include "dsp/BlockConstants.h"

namespace tg {

// The tempo clock of a graph: a position in ticks (24 a beat, 4 beats a bar)
// that each pass advances while the clock runs. The user-interface thread
// starts, pauses, stops and retunes it with plain atomic writes; the audio
// thread reads it inside the pass.
class TempoClock {
 public:
  static constexpr int kTicksPerBeat = 24;
  static constexpr int kBeatsPerBar = 4;
  static constexpr double kDefaultSamplesPerClock = kSampleRate / 48.0;  // 120 beats a minute

  static double SamplesPerClockForTempo(double beatsPerMinute) {
    return kSampleRate / (beatsPerMinute * kTicksPerBeat / 60.0);
  }
  static double TempoForSamplesPerClock(double samplesPerClock) {
    return kSampleRate * 60.0 / (kTicksPerBeat * samplesPerClock);
  }

  double Position() const { return position_.load(std::memory_order_relaxed); }
  void SetPosition(double ticks) { position_.store(ticks, std::memory_order_relaxed); }
  double SamplesPerClock() const { return samplesPerClock_.load(std::memory_order_relaxed); }
  void SetSamplesPerClock(double s) { samplesPerClock_.store(s, std::memory_order_relaxed); }
  bool IsRunning() const { return running_.load(std::memory_order_relaxed); }
  void SetRunning(bool r) { running_.store(r, std::memory_order_relaxed); }

  // Audio thread: moves the position on by one block while running. A stop
  // (position set to 0) made meanwhile by the user-interface thread wins.
  void AdvanceBlock() {
    double p = position_.load(std::memory_order_relaxed);
    while (running_.load(std::memory_order_relaxed)) {
      const double next = p + kBlockSize / samplesPerClock_.load(std::memory_order_relaxed);
      if (position_.compare_exchange_weak(p, next, std::memory_order_relaxed)) break;
    }
  }

 private:
  std::atomic<double> position_{0.0};
  std::atomic<double> samplesPerClock_{kDefaultSamplesPerClock};
  std::atomic<bool> running_{false};
};

}  // namespace tg
