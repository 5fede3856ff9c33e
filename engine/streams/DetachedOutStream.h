#pragma once

#include <atomic>

#include "engine/streams/AudioOutStream.h"

namespace tg {

// An output stream with no device behind it: Start and Stop only change its
// state, and whoever owns it drives the fills (tests, offline rendering).
class DetachedOutStream final : public AudioOutStream {
 public:
  DetachedOutStream(int bufferCount = 4, int bufferSize = 16384)
      : bufferCount_(bufferCount), bufferSize_(bufferSize) {}

  void Start() override { active_ = true; }
  void Stop() override;
  bool IsActive() const override { return active_; }
  int BufferSize() const override { return bufferSize_; }
  int BufferCount() const override { return bufferCount_; }
  bool TakeOverload() override { return overloads_.exchange(0) != 0; }
  double CpuLoad() const override { return 0.0; }
  void SetOnFillBuffer(FillHandler handler) override { handler_ = std::move(handler); }
  EngineLock& GetEngineLock() override { return lock_; }

  void SetBuffers(int count, int size) {
    bufferCount_ = count;
    bufferSize_ = size;
  }
  void AddOverload() { overloads_.fetch_add(1); }
  // Fills one buffer through the handler under the engine lock, as a service
  // thread would.
  void Fill(int16_t* buffer, int frameCount);

 private:
  std::atomic<bool> active_{false};
  int bufferCount_;
  int bufferSize_;
  std::atomic<int> overloads_{0};
  FillHandler handler_;
  EngineLock lock_;
};

}  // namespace tg
