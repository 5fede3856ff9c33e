#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
  };
  explicit ManualWaveOutDevice(Shared& shared) : shared_(shared) {}
  void Open(CompletionSink& sink) override {
    std::lock_guard lock(shared_.mutex);
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

// Waits until the condition holds, at most two seconds.
template <typename Condition>
bool WaitUntil(Condition&& condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
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
  };
  explicit ManualWaveInDevice(Shared& shared) : shared_(shared) {}
  void Open(CompletionSink& sink) override {
    std::lock_guard lock(shared_.mutex);
    shared_.sink = &sink;
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
