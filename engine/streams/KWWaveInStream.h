#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "engine/devices/WaveDevice.h"
#include "engine/streams/AudioInStream.h"

namespace tg {

// Keeps a queue of capture buffers running and lets the engine read the most
// recently completed one. Its service thread only hands buffers back to the
// device. Settings and commands are for the user-interface thread.
class KWWaveInStream final : public AudioInStream, private CompletionSink {
 public:
  static constexpr int kDefaultBufferCount = 4;
  static constexpr int kDefaultBufferSize = 16384;

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
  const int16_t* CurrentData() const override { return currentData_.load(std::memory_order_acquire); }
  void Lock() override;
  void Unlock() override;

  void SetBuffers(int count, int size);
  void SetBufferCount(int count) { SetBuffers(count, bufferSize_); }
  void SetBufferSize(int size) { SetBuffers(bufferCount_, size); }
  int Device() const { return device_; }
  void SetDevice(int device);
  int DeviceCount() const { return static_cast<int>(devices_.size()); }
  const std::vector<WaveDeviceInfo>& DeviceNames() const { return devices_; }
  int BufferDurationMs() const { return bufferDurationMs_; }
  int FramesPerBuffer() const { return bufferSize_ / kDeviceFrameBytes; }

 private:
  void BufferDone() noexcept override { completions_.release(); }
  int16_t* BufferAt(int i) { return memory_.data() + static_cast<size_t>(i) * FramesPerBuffer() * 2; }
  void ServiceLoop();

  WaveDeviceLayer& layer_;
  std::vector<WaveDeviceInfo> devices_;
  int bufferCount_ = kDefaultBufferCount;
  int bufferSize_ = kDefaultBufferSize;
  int bufferDurationMs_;
  int device_ = 0;

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
