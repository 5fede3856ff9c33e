#pragma once

#include <atomic>
#include <mutex>

#include "engine/streams/AudioInStream.h"

namespace tg {

// An input stream with no device: it never has a buffer to offer.
class DetachedInStream final : public AudioInStream {
 public:
  explicit DetachedInStream(int bufferSize = 16384) : bufferSize_(bufferSize) {}

  void Start() override { active_ = true; }
  void Stop() override { active_ = false; }
  bool IsActive() const override { return active_; }
  int BufferSize() const override { return bufferSize_; }
  int TakeNextBuffer() override { return bufferSize_ / 4; }
  void LockBuffer() override { bufferLock_.lock(); }
  void UnlockBuffer() override { bufferLock_.unlock(); }
  const int16_t* CurrentData() const override { return nullptr; }
  void Lock() override { bufferLock_.lock(); }
  void Unlock() override { bufferLock_.unlock(); }

 private:
  std::atomic<bool> active_{false};
  int bufferSize_;
  std::mutex bufferLock_;
};

}  // namespace tg
