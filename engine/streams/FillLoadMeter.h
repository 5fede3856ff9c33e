#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "engine/devices/WaveDevice.h"

namespace tg {

// An output stream's CPU load: the mean of the last five fill times over the
// time one buffer lasts, so above 1 the fills cannot keep up. Fill times are
// kept in nanoseconds: a light patch fills a small buffer in microseconds.
class FillLoadMeter {
 public:
  static constexpr int kFills = 5;

  // Stream stopped: forgets the fills of the last run and measures against
  // buffers of this many frames from now on.
  void Restart(int framesPerBuffer) {
    for (auto& fill : fills_) fill.store(0, std::memory_order_relaxed);
    next_ = 0;
    const int64_t frames = framesPerBuffer > 0 ? framesPerBuffer : 1;
    bufferNanos_.store(static_cast<double>(frames) * 1e9 / kDeviceSampleRate,
                       std::memory_order_relaxed);
  }
  // Service thread.
  void Record(std::chrono::nanoseconds fill) {
    fills_[next_].store(fill.count(), std::memory_order_relaxed);
    next_ = (next_ + 1) % fills_.size();
  }
  // Any thread.
  double Load() const {
    double sum = 0;
    for (const auto& fill : fills_)
      sum += static_cast<double>(fill.load(std::memory_order_relaxed));
    return sum / kFills / bufferNanos_.load(std::memory_order_relaxed);
  }

 private:
  std::array<std::atomic<int64_t>, kFills> fills_{};
  size_t next_ = 0;
  std::atomic<double> bufferNanos_{1e9};
};

}  // namespace tg
