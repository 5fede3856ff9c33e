#pragma once

#include <atomic>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/TimeSource.h"
#include "engine/devices/WaveDevice.h"
#include "engine/streams/AudioOutStream.h"
#include "engine/streams/FillLoadMeter.h"
#include "engine/streams/KWWaveStreamBase.h"
#include "engine/streams/ThreadPriority.h"

namespace tg {

// Plays a queue of device buffers and asks its fill handler for each one on
// a service thread of real-time priority, holding the engine lock. Settings
// and commands are for the user-interface thread.
class KWWaveOutStream final : public AudioOutStream,
                              public KWWaveStreamBase,
                              private CompletionSink {
 public:
  // Fills are timed by `time`: the steady clock, or a test's own.
  explicit KWWaveOutStream(WaveDeviceLayer& layer, TimeSource& time = TimeSource::Steady());
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
  int64_t PlayoutFrames() const override {
    return AudioOutStream::PlayoutFrames() + deviceLatency_.load(std::memory_order_relaxed);
  }
  bool TakeOverload() override { return overloads_.exchange(0) != 0; }
  double CpuLoad() const override { return IsActive() ? load_.Load() : 0.0; }
  void SetOnFillBuffer(FillHandler handler) override { onFillBuffer_ = std::move(handler); }
  EngineLock& GetEngineLock() override { return lock_; }

  bool RampEnds() const { return rampEnds_; }
  void SetRampEnds(bool ramp) { rampEnds_ = ramp; }
  bool Overdrive() const { return overdrive_.load(); }
  void SetOverdrive(bool overdrive) { overdrive_ = overdrive; }

 private:
  bool StreamActive() const override { return IsActive(); }
  void StartStream() override { Start(); }
  void StopStream() override { Stop(); }
  void ReleaseBuffers() override { memory_.clear(); }
  void BufferDone() noexcept override { completions_.release(); }
  int16_t* BufferAt(int i) {
    return memory_.data() + static_cast<size_t>(i) * FramesPerBuffer() * 2;
  }
  void Fill(int16_t* buffer);
  void ServiceLoop();
  void DrainCompletions();

  WaveDeviceLayer& layer_;
  TimeSource& time_;
  bool rampEnds_ = true;
  std::atomic<bool> overdrive_{true};
  FillHandler onFillBuffer_;

  std::atomic<bool> active_{false};
  std::atomic<bool> threadRunning_{false};
  std::atomic<bool> stopWithRamp_{false};
  std::atomic<int> overloads_{0};
  FillLoadMeter load_;
  int nextBuffer_ = 0;
  std::atomic<int> inFlight_{0};
  std::atomic<int64_t> deviceLatency_{0};  // frames
  ThreadPriority priority_ = ThreadPriority::Normal;

  EngineLock lock_;
  std::unique_ptr<WaveOutDevice> deviceHandle_;
  std::vector<int16_t> memory_;
  std::counting_semaphore<1024> completions_{0};
  std::thread thread_;
};

}  // namespace tg
