#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "engine/devices/WaveDevice.h"
#include "engine/streams/AudioInStream.h"
#include "engine/streams/KWWaveStreamBase.h"

namespace tg {

// Keeps a queue of capture buffers running and lets the engine read the most
// recently completed one. Its service thread only hands buffers back to the
// device. Settings and commands are for the user-interface thread.
class KWWaveInStream final : public AudioInStream, public KWWaveStreamBase, private CompletionSink {
 public:
  explicit KWWaveInStream(WaveDeviceLayer& layer);
  ~KWWaveInStream() override;
  KWWaveInStream(const KWWaveInStream&) = delete;
  KWWaveInStream& operator=(const KWWaveInStream&) = delete;

  // Throws EWaveInError.
  void Start() override;
  void Stop() override;
  bool IsActive() const override { return active_.load(); }
  int BufferSize() const override { return bufferSize_; }
  int BufferCount() const { return bufferCount_; }
  int TakeNextBuffer() override;
  void LockBuffer() override;
  void UnlockBuffer() override;
  const int16_t* CurrentData() const override {
    return currentData_.load(std::memory_order_acquire);
  }
  void Lock() override;
  void Unlock() override;

 private:
  bool StreamActive() const override { return IsActive(); }
  void StartStream() override { Start(); }
  void StopStream() override { Stop(); }
  void ReleaseBuffers() override { memory_.clear(); }
  void BufferDone() noexcept override { completions_.release(); }
  int16_t* BufferAt(int i) {
    return memory_.data() + static_cast<size_t>(i) * FramesPerBuffer() * 2;
  }
  void ServiceLoop();

  WaveDeviceLayer& layer_;

  std::atomic<bool> active_{false};
  std::atomic<bool> threadRunning_{false};
  std::atomic<bool> inputRunning_{false};
  std::thread::id lockOwner_{};
  bool bufferLocked_ = false;
  int requeueIndex_ = 0;
  int currentIndex_ = 0;
  std::atomic<const int16_t*> currentData_{nullptr};

  std::mutex section_;
  std::mutex bufferLock_;
  std::unique_ptr<WaveInDevice> deviceHandle_;
  std::vector<int16_t> memory_;
  std::counting_semaphore<1024> completions_{0};
  std::counting_semaphore<1024> ready_{0};
  std::thread thread_;
};

}  // namespace tg
