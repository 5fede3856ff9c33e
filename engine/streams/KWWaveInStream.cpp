#include "engine/streams/KWWaveInStream.h"

#include <algorithm>
#include <chrono>

#include "engine/streams/ThreadPriority.h"

namespace tg {

KWWaveInStream::KWWaveInStream(WaveDeviceLayer& layer)
    : KWWaveStreamBase(layer.InputDevices()), layer_(layer) {}

KWWaveInStream::~KWWaveInStream() {
  try {
    Stop();
  } catch (const EWaveInError&) {
  }
}

void KWWaveInStream::Start() {
  if (IsActive()) return;
  if (deviceHandle_) {
    try {
      deviceHandle_->Close();
    } catch (const EWaveInError&) {
    }
    deviceHandle_.reset();
  }
  auto device = layer_.CreateInput(ChosenDeviceId<EWaveInError>("There is no sound input device."));
  device->Open(*this);
  // The input is not running: the audio thread keeps off everything below.
  memory_.assign(static_cast<size_t>(bufferCount_) * FramesPerBuffer() * 2, 0);
  for (int i = 0; i < bufferCount_; ++i) device->AddBuffer(BufferAt(i), FramesPerBuffer());
  deviceHandle_ = std::move(device);
  requeueIndex_ = 0;
  completedCount_ = 0;
  uint64_t stale = 0;
  while (completed_.Pop(stale)) {
  }
  latestCompleted_ = 0;
  // One step on from here is buffer 0, the first to complete.
  currentIndex_ = bufferCount_ - 1;
  currentData_ = nullptr;
  threadRunning_ = true;
  active_ = true;
  while (completions_.try_acquire()) {
  }
  thread_ = std::thread([this] { ServiceLoop(); });
  SetThreadPriority(thread_, ThreadPriority::TimeCritical);
  try {
    deviceHandle_->Start();
  } catch (const EWaveInError&) {
    {
      std::lock_guard lock(section_);
      threadRunning_ = false;
    }
    active_ = false;
    completions_.release();
    thread_.join();
    deviceHandle_.reset();
    throw;
  }
  inputRunning_ = true;
}

void KWWaveInStream::ServiceLoop() {
  const auto timeout = std::chrono::milliseconds(2 * bufferDurationMs_);
  for (;;) {
    if (!completions_.try_acquire_for(timeout)) {
      if (!threadRunning_) return;
      continue;
    }
    std::lock_guard lock(section_);
    if (!threadRunning_) return;
    // Handed on before the device gets it back: whoever sees it back sees it
    // handed on. A full queue means the engine is a whole queue behind; it
    // then jumps to the latest buffer anyway.
    completed_.Push(++completedCount_);
    latestCompleted_.store(completedCount_, std::memory_order_release);
    try {
      deviceHandle_->AddBuffer(BufferAt(requeueIndex_), FramesPerBuffer());
    } catch (const EWaveInError&) {
      // The device refused its own buffer back: capture goes on without it.
    }
    requeueIndex_ = (requeueIndex_ + 1) % bufferCount_;
  }
}

// Announces the reader before it looks at the running flag, and Stop clears
// the flag before it looks for a reader (both sequentially consistent): at
// least one of them sees the other, so a stop never passes a read under way.
bool KWWaveInStream::EnterReading() {
  reading_.store(true);
  if (inputRunning_.load()) return true;
  reading_.store(false);
  return false;
}

int KWWaveInStream::TakeNextBuffer() {
  if (!EnterReading()) return FramesPerBuffer();
  uint64_t next = 0;
  if (completed_.Pop(next)) {
    const auto count = static_cast<uint64_t>(bufferCount_);
    const uint64_t latest = latestCompleted_.load(std::memory_order_acquire);
    // One buffer a call while the engine keeps up; a whole queue behind, it
    // jumps to the most recent one.
    if (latest - next + 1 >= count) {
      uint64_t queued = 0;
      while (completed_.Pop(queued)) next = queued;
      next = std::max(next, latest);
    }
    currentIndex_ = static_cast<int>((next - 1) % count);
  }
  currentData_ = BufferAt(currentIndex_);
  LeaveReading();
  return FramesPerBuffer();
}

const int16_t* KWWaveInStream::BeginRead() {
  if (!EnterReading()) return nullptr;
  return currentData_;
}

void KWWaveInStream::Stop() {
  if (!IsActive()) return;
  inputRunning_.store(false);
  while (reading_.load()) std::this_thread::yield();  // one block's read, at most
  {
    std::lock_guard lock(section_);
    threadRunning_ = false;
  }
  // The service thread touches the device no more.
  auto device = std::move(deviceHandle_);
  std::exception_ptr failure;
  try {
    device->Stop();
  } catch (const EWaveInError&) {
    failure = std::current_exception();
  }
  completions_.release();
  thread_.join();
  try {
    device->Reset();
    device->Close();
  } catch (const EWaveInError&) {
    if (!failure) failure = std::current_exception();
  }
  active_ = false;
  currentData_ = nullptr;
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tg
