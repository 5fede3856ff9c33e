#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tg {

// Where the silent device's pacing and the streams' fill timing read the
// time: the steady clock in the program, a clock of their own in tests, so
// that pacing and load are checked without waiting for real time to pass.
class TimeSource {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~TimeSource() = default;
  // Any thread.
  virtual TimePoint Now() = 0;
  // Sleeps, with `lock` on the mutex of `wake` released meanwhile, until the
  // deadline; false when `running` was cleared (and `wake` told) first.
  virtual bool SleepUntil(TimePoint deadline, std::unique_lock<std::mutex>& lock,
                          std::condition_variable& wake, const std::atomic<bool>& running) = 0;

  // The steady clock, shared by every device and stream.
  static TimeSource& Steady();
};

class SteadyTimeSource final : public TimeSource {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  bool SleepUntil(TimePoint deadline, std::unique_lock<std::mutex>& lock,
                  std::condition_variable& wake, const std::atomic<bool>& running) override {
    return !wake.wait_until(lock, deadline, [&running] { return !running.load(); });
  }
};

inline TimeSource& TimeSource::Steady() {
  static SteadyTimeSource steady;
  return steady;
}

}  // namespace tg
