#include "engine/devices/SilentWaveDevice.h"

#include <chrono>

namespace tg {

namespace {
constexpr auto kIdlePoll = std::chrono::milliseconds(1);
// Further behind than this (the machine was suspended, the process stopped),
// the device starts a new schedule, as a sound card would, rather than
// rushing through every buffer it missed.
constexpr auto kMaxLag = std::chrono::milliseconds(500);

// Exact to the nanosecond for any run the program may have, without
// overflowing: whole seconds first.
std::chrono::nanoseconds DurationOf(int64_t frames) {
  constexpr int64_t kNanosPerSecond = 1'000'000'000;
  return std::chrono::nanoseconds(frames / kDeviceSampleRate * kNanosPerSecond +
                                  frames % kDeviceSampleRate * kNanosPerSecond / kDeviceSampleRate);
}
}  // namespace

void SilentDeviceClock::StartThread() {
  if (thread_.joinable()) return;
  running_ = true;
  scheduled_ = false;
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
  const auto now = time_.Now();
  if (!scheduled_ || now - (scheduleStart_ + DurationOf(scheduledFrames_)) > kMaxLag) {
    scheduleStart_ = now;
    scheduledFrames_ = 0;
    scheduled_ = true;
  }
  scheduledFrames_ += entry.frameCount;
  std::unique_lock lock(mutex_);
  return time_.SleepUntil(scheduleStart_ + DurationOf(scheduledFrames_), lock, wake_, running_);
}

void SilentDeviceClock::Idle() {
  scheduled_ = false;
  std::this_thread::sleep_for(kIdlePoll);
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
      Idle();
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
      Idle();
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
