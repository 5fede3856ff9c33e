#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/WaveDevice.h"
#include "engine/streams/AudioOutStream.h"
#include "engine/streams/ThreadPriority.h"

namespace tg {

// Plays a queue of device buffers and asks its fill handler for each one on
// a service thread of real-time priority, holding the engine lock. Settings
// and commands are for the user-interface thread.
class KWWaveOutStream final : public AudioOutStream, private CompletionSink {
 public:
  static constexpr int kDefaultBufferCount = 4;
  static constexpr int kDefaultBufferSize = 16384;

  explicit KWWaveOutStream(WaveDeviceLayer& layer);
  ~KWWaveOutStream() override;
  KWWaveOutStream(const KWWaveOutStream&) = delete;
  KWWaveOutStream& operator=(const KWWaveOutStream&) = delete;

  // Opens the device, primes every buffer through the fill handler on the
  // calling thread, and starts playing. Throws EWaveOutError.
  void Start() override;
  // Ends playing: a caller holding the engine lock has it released and stops
  // at once; otherwise, with RampEnds, the last buffer fades out. Throws
  // EWaveOutError when the device fails to close.
  void Stop() override;
  bool IsActive() const override { return active_.load(); }
  int BufferSize() const override { return bufferSize_; }
  int BufferCount() const override { return bufferCount_; }
  bool TakeOverload() override { return overloads_.exchange(0) != 0; }
  double CpuLoad() const override;
  void SetOnFillBuffer(FillHandler handler) override { onFillBuffer_ = std::move(handler); }
  EngineLock& GetEngineLock() override { return lock_; }

  // Count 1 … 16; size rounded down to a multiple of 4, at least 128 bytes.
  // An active stream is stopped and started again.
  void SetBuffers(int count, int size);
  void SetBufferCount(int count) { SetBuffers(count, bufferSize_); }
  void SetBufferSize(int size) { SetBuffers(bufferCount_, size); }
  int Device() const { return device_; }
  // Ignored unless a valid, different index; restarts an active stream.
  void SetDevice(int device);
  int DeviceCount() const { return static_cast<int>(devices_.size()); }
  const std::vector<WaveDeviceInfo>& DeviceNames() const { return devices_; }
  bool RampEnds() const { return rampEnds_; }
  void SetRampEnds(bool ramp) { rampEnds_ = ramp; }
  bool Overdrive() const { return overdrive_.load(); }
  void SetOverdrive(bool overdrive) { overdrive_ = overdrive; }
  int BufferDurationMs() const { return bufferDurationMs_; }
  int FramesPerBuffer() const { return bufferSize_ / kDeviceFrameBytes; }

 private:
  void BufferDone() noexcept override { completions_.release(); }
  int16_t* BufferAt(int i) { return memory_.data() + static_cast<size_t>(i) * FramesPerBuffer() * 2; }
  void Fill(int16_t* buffer);
  void ServiceLoop();
  void DrainCompletions();

  WaveDeviceLayer& layer_;
  std::vector<WaveDeviceInfo> devices_;
  int bufferCount_ = kDefaultBufferCount;
  int bufferSize_ = kDefaultBufferSize;
  int bufferDurationMs_;
  int device_ = 0;
  bool rampEnds_ = true;
  std::atomic<bool> overdrive_{true};
  FillHandler onFillBuffer_;

  std::atomic<bool> active_{false};
  std::atomic<bool> threadRunning_{false};
  std::atomic<bool> stopWithRamp_{false};
  std::atomic<int> overloads_{0};
  std::array<std::atomic<int32_t>, 5> fillDurations_{};  // in 0.1 ms
  int durationIndex_ = 0;
  int nextBuffer_ = 0;
  std::atomic<int> inFlight_{0};
  ThreadPriority priority_ = ThreadPriority::Normal;

  EngineLock lock_;
  std::unique_ptr<WaveOutDevice> deviceHandle_;
  std::vector<int16_t> memory_;
  std::counting_semaphore<1024> completions_{0};
  std::thread thread_;
};

}  // namespace tg
