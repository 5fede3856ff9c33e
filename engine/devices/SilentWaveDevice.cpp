#include "engine/devices/SilentWaveDevice.h"

#include <algorithm>

namespace tg {

namespace {
constexpr auto kIdlePoll = std::chrono::milliseconds(1);

std::chrono::nanoseconds DurationOf(int frames) {
  return std::chrono::nanoseconds(static_cast<int64_t>(frames) * 1'000'000'000 / kDeviceSampleRate);
}
}  // namespace

void SilentDeviceClock::StartThread() {
  if (thread_.joinable()) return;
  running_ = true;
  clock_ = Clock::now();
  thread_ = std::thread([this] { Run(); });
}

void SilentDeviceClock::StopThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    running_ = false;
  }
  wake_.notify_all();
  thread_.join();
}

bool SilentDeviceClock::WaitFor(const Entry& entry) {
  clock_ = std::max(clock_, Clock::now()) + DurationOf(entry.frameCount);
  std::unique_lock lock(mutex_);
  return !wake_.wait_until(lock, clock_, [this] { return !running_; });
}

void SilentDeviceClock::ForgetAll() {
  if (hasCurrent_) sink_->BufferDone();
  hasCurrent_ = false;
  Entry e;
  while (queue_.Pop(e)) sink_->BufferDone();
}

void SilentWaveOutDevice::Open(CompletionSink& sink) {
  sink_ = &sink;
  paused_ = false;
  StartThread();
}

void SilentWaveOutDevice::Write(const int16_t* frames, int frameCount) {
  if (!queue_.Push({const_cast<int16_t*>(frames), frameCount})) {
    throw EWaveOutError(1, "The silent device holds too many buffers.");
  }
}

void SilentWaveOutDevice::Reset() {
  StopThread();
  ForgetAll();
  StartThread();
}

void SilentWaveOutDevice::Run() {
  while (running_) {
    if (paused_ || !queue_.Pop(current_)) {
      // Paused, or playing silence for want of a buffer.
      std::this_thread::sleep_for(kIdlePoll);
      clock_ = Clock::now();
      continue;
    }
    hasCurrent_ = true;
    if (!WaitFor(current_)) return;
    hasCurrent_ = false;
    sink_->BufferDone();
  }
}

void SilentWaveInDevice::Open(CompletionSink& sink) {
  sink_ = &sink;
  capturing_ = false;
  StartThread();
}

void SilentWaveInDevice::AddBuffer(int16_t* frames, int frameCount) {
  if (!queue_.Push({frames, frameCount})) {
    throw EWaveInError(1, "The silent device holds too many buffers.");
  }
}

void SilentWaveInDevice::Reset() {
  capturing_ = false;
  StopThread();
  ForgetAll();
  StartThread();
}

void SilentWaveInDevice::Run() {
  while (running_) {
    if (!capturing_ || !queue_.Pop(current_)) {
      std::this_thread::sleep_for(kIdlePoll);
      clock_ = Clock::now();
      continue;
    }
    hasCurrent_ = true;
    // Silence is what the stream cleared its buffers to; nothing to write.
    if (!WaitFor(current_)) return;
    hasCurrent_ = false;
    sink_->BufferDone();
  }
}

}  // namespace tg
