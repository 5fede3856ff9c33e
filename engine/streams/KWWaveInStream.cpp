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
  memory_.assign(static_cast<size_t>(bufferCount_) * FramesPerBuffer() * 2, 0);
  for (int i = 0; i < bufferCount_; ++i) device->AddBuffer(BufferAt(i), FramesPerBuffer());
  deviceHandle_ = std::move(device);

  {
    // The engine may be reading from its own thread meanwhile.
    std::lock_guard lock(section_);
    requeueIndex_ = 0;
    // One step on from here is buffer 0, the first to complete.
    currentIndex_ = bufferCount_ - 1;
    inputRunning_ = false;
    threadRunning_ = true;
    active_ = true;
    currentData_ = nullptr;
  }
  while (completions_.try_acquire()) {
  }
  while (ready_.try_acquire()) {
  }
  thread_ = std::thread([this] { ServiceLoop(); });
  SetThreadPriority(thread_, ThreadPriority::TimeCritical);
  try {
    deviceHandle_->Start();
  } catch (const EWaveInError&) {
    threadRunning_ = false;
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
    ready_.release();
    try {
      deviceHandle_->AddBuffer(BufferAt(requeueIndex_), FramesPerBuffer());
    } catch (const EWaveInError&) {
      // The device refused its own buffer back: capture goes on without it.
    }
    requeueIndex_ = (requeueIndex_ + 1) % bufferCount_;
  }
}

int KWWaveInStream::TakeNextBuffer() {
  int n = 0;
  while (ready_.try_acquire()) ++n;
  std::lock_guard lock(section_);
  if (inputRunning_) {
    if (n >= 1 && n < bufferCount_) {
      currentIndex_ = (currentIndex_ + 1) % bufferCount_;
      if (n > 1) ready_.release(n - 1);
    } else {
      currentIndex_ = requeueIndex_ == 0 ? bufferCount_ - 1 : requeueIndex_ - 1;
    }
    currentData_ = BufferAt(currentIndex_);
  } else {
    currentData_ = nullptr;
  }
  return FramesPerBuffer();
}

void KWWaveInStream::LockBuffer() {
  std::lock_guard lock(section_);
  if (inputRunning_ && currentData_ != nullptr) {
    bufferLock_.lock();
    bufferLocked_ = true;
  }
  if (!inputRunning_) currentData_ = nullptr;
}

// Only the reading thread touches the flag; taking the critical section here
// would lock in the opposite order to LockBuffer and Lock.
void KWWaveInStream::UnlockBuffer() {
  if (bufferLocked_) {
    bufferLocked_ = false;
    bufferLock_.unlock();
  }
}

void KWWaveInStream::Lock() {
  if (lockOwner_ == std::this_thread::get_id()) return;
  section_.lock();
  bufferLock_.lock();
  lockOwner_ = std::this_thread::get_id();
}

void KWWaveInStream::Unlock() {
  if (lockOwner_ != std::this_thread::get_id()) return;
  lockOwner_ = {};
  bufferLock_.unlock();
  section_.unlock();
}

void KWWaveInStream::Stop() {
  if (!IsActive()) return;
  // The critical section is not recursive: a caller holding Lock has it already.
  const bool held = lockOwner_ == std::this_thread::get_id();
  if (!held) section_.lock();
  inputRunning_ = false;
  threadRunning_ = false;
  if (!held) section_.unlock();
  Unlock();
  { std::lock_guard wait(bufferLock_); }  // a reader of the current buffer finishes
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
