#pragma once

#include <atomic>

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
  const int16_t* BeginRead() override { return nullptr; }
  void EndRead() override {}

 private:
  std::atomic<bool> active_{false};
  int bufferSize_;
};

}  // namespace tg
