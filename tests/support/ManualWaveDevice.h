#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/TimeSource.h"
#include "engine/devices/WaveDevice.h"

namespace tg::test {

// An output device the test plays by hand: each PlayNext takes the oldest
// written buffer, keeps a copy of what it held, and posts its completion.
class ManualWaveOutDevice final : public WaveOutDevice {
 public:
  struct Shared {
    std::mutex mutex;
    std::deque<std::pair<const int16_t*, int>> queued;
    std::vector<std::vector<int16_t>> played;
    std::vector<std::string> events;  // "write", and what the test adds
    CompletionSink* sink = nullptr;
    bool open = false;
    int opens = 0;
    std::string refusal;       // when set, opening fails with it
    std::string closeRefusal;  // when set, closing fails with it (a device unplugged)
  };
  explicit ManualWaveOutDevice(Shared& shared) : shared_(shared) {}
  void Open(CompletionSink& sink) override {
    std::lock_guard lock(shared_.mutex);
    if (!shared_.refusal.empty()) throw EWaveOutError(-1, shared_.refusal);
    shared_.sink = &sink;
    shared_.open = true;
    ++shared_.opens;
  }
  void Pause() override {}
  void Restart() override {}
  void Write(const int16_t* frames, int frameCount) override {
    std::lock_guard lock(shared_.mutex);
    shared_.queued.emplace_back(frames, frameCount);
    shared_.events.push_back("write");
  }
  void Reset() override {}
  void Close() override {
    std::lock_guard lock(shared_.mutex);
    shared_.open = false;
    shared_.queued.clear();
    if (!shared_.closeRefusal.empty()) throw EWaveOutError(-1, shared_.closeRefusal);
  }

 private:
  Shared& shared_;
};

// Plays a manual device from the test.
inline bool PlayNext(ManualWaveOutDevice::Shared& shared) {
  std::lock_guard lock(shared.mutex);
  if (shared.queued.empty() || shared.sink == nullptr) return false;
  const auto [frames, count] = shared.queued.front();
  shared.queued.pop_front();
  shared.played.emplace_back(frames, frames + count * 2);
  shared.sink->BufferDone();
  return true;
}

// Waits until the condition holds; gives up only on a run that is truly
// stuck, not on a slow machine.
template <typename Condition>
bool WaitUntil(Condition&& condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// A capture device the test fills by hand.
class ManualWaveInDevice final : public WaveInDevice {
 public:
  struct Shared {
    std::mutex mutex;
    std::deque<std::pair<int16_t*, int>> added;
    CompletionSink* sink = nullptr;
    bool started = false;
    int opens = 0;
  };
  explicit ManualWaveInDevice(Shared& shared) : shared_(shared) {}
  void Open(CompletionSink& sink) override {
    std::lock_guard lock(shared_.mutex);
    shared_.sink = &sink;
    ++shared_.opens;
  }
  void AddBuffer(int16_t* frames, int frameCount) override {
    std::lock_guard lock(shared_.mutex);
    shared_.added.emplace_back(frames, frameCount);
  }
  void Start() override { shared_.started = true; }
  void Stop() override { shared_.started = false; }
  void Reset() override {
    std::lock_guard lock(shared_.mutex);
    shared_.added.clear();
  }
  void Close() override {}

 private:
  Shared& shared_;
};

// Captures one buffer with every value set to value.
inline bool CaptureNext(ManualWaveInDevice::Shared& shared, int16_t value) {
  std::lock_guard lock(shared.mutex);
  if (shared.added.empty()) return false;
  auto [frames, count] = shared.added.front();
  shared.added.pop_front();
  std::fill(frames, frames + count * 2, value);
  shared.sink->BufferDone();
  return true;
}

// A clock that moves only when told: by the test (Advance), or by a sleeper,
// whose sleep ends at once, `lateness` after its deadline, as on a loaded
// machine. Keeps every deadline slept for; sleeps past those the test allows
// wait (in real time) until it allows more or the sleeper is stopped.
class ManualTimeSource final : public TimeSource {
 public:
  explicit ManualTimeSource(std::chrono::nanoseconds lateness = {}) : lateness_(lateness) {}
  TimePoint Now() override { return TimePoint(std::chrono::nanoseconds(now_.load())); }
  void Advance(std::chrono::nanoseconds step) { now_.fetch_add(step.count()); }
  // Lets the first `count` sleeps end, counting from the first ever.
  void AllowSleeps(size_t count) { allowed_.store(count); }
  bool SleepUntil(TimePoint deadline, std::unique_lock<std::mutex>& lock,
                  std::condition_variable& wake, const std::atomic<bool>& running) override {
    size_t index = 0;
    {
      std::lock_guard guard(mutex_);
      index = deadlines_.size();
      deadlines_.push_back(deadline);
    }
    while (running.load() && index >= allowed_.load()) {
      wake.wait_for(lock, std::chrono::milliseconds(1));
    }
    if (!running.load()) return false;
    const auto late = (deadline + lateness_).time_since_epoch();
    if (deadline > Now()) {
      now_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(late).count());
    }
    return true;
  }
  std::vector<TimePoint> Deadlines() {
    std::lock_guard lock(mutex_);
    return deadlines_;
  }
  size_t DeadlineCount() {
    std::lock_guard lock(mutex_);
    return deadlines_.size();
  }

 private:
  const std::chrono::nanoseconds lateness_;
  std::atomic<int64_t> now_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
  std::atomic<size_t> allowed_{SIZE_MAX};
  std::mutex mutex_;
  std::vector<TimePoint> deadlines_;
};

class ManualWaveDeviceLayer final : public WaveDeviceLayer {
 public:
  std::vector<WaveDeviceInfo> OutputDevices() override {
    return {{"Manual: one", 0}, {"Manual: two", 1}};
  }
  std::vector<WaveDeviceInfo> InputDevices() override { return {{"Manual: in", 0}}; }
  std::unique_ptr<WaveOutDevice> CreateOutput(int) override {
    return std::make_unique<ManualWaveOutDevice>(out);
  }
  std::unique_ptr<WaveInDevice> CreateInput(int) override {
    return std::make_unique<ManualWaveInDevice>(in);
  }
  ManualWaveOutDevice::Shared out;
  ManualWaveInDevice::Shared in;
};

}  // namespace tg::test
