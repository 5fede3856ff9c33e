#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "base/SpscQueue.h"
#include "engine/devices/WaveDevice.h"
#include "engine/streams/AudioInStream.h"
#include "engine/streams/KWWaveStreamBase.h"

namespace tg {

// Keeps a queue of capture buffers running and lets the engine read the most
// recently completed one. Its service thread hands each completed buffer
// back to the device and, through a lock-free queue, on to the audio thread,
// whose side takes no lock and never waits. Settings and commands are for
// the user-interface thread.
class KWWaveInStream final : public AudioInStream, public KWWaveStreamBase, private CompletionSink {
 public:
  explicit KWWaveInStream(WaveDeviceLayer& layer);
  ~KWWaveInStream() override;
  KWWaveInStream(const KWWaveInStream&) = delete;
  KWWaveInStream& operator=(const KWWaveInStream&) = delete;

  // Throws EWaveInError.
  void Start() override;
  // Waits for a block being read to end; throws EWaveInError.
  void Stop() override;
  bool IsActive() const override { return active_.load(); }
  int BufferSize() const override { return bufferSize_; }
  int BufferCount() const { return bufferCount_; }
  int TakeNextBuffer() override;
  const int16_t* BeginRead() override;
  void EndRead() override { LeaveReading(); }
  // Audio thread (or the only thread a test runs): the current buffer, null
  // when there is no input.
  const int16_t* CurrentData() const { return currentData_; }

 private:
  // Numbers of completed buffers, counted from 1 since the start; buffer
  // number n is the one at index (n - 1) modulo the count.
  using CompletedQueue = SpscQueue<uint64_t, 16>;

  bool StreamActive() const override { return IsActive(); }
  void StartStream() override { Start(); }
  void StopStream() override { Stop(); }
  void ReleaseBuffers() override { memory_.clear(); }
  void BufferDone() noexcept override { completions_.release(); }
  int16_t* BufferAt(int i) {
    return memory_.data() + static_cast<size_t>(i) * FramesPerBuffer() * 2;
  }
  void ServiceLoop();
  // Audio thread: false, and nothing of the stream may be touched, unless
  // the input runs; a stop waits until LeaveReading.
  bool EnterReading();
  void LeaveReading() { reading_.store(false); }

  WaveDeviceLayer& layer_;

  std::atomic<bool> active_{false};
  std::atomic<bool> threadRunning_{false};
  std::atomic<bool> inputRunning_{false};
  std::atomic<bool> reading_{false};

  // The service thread's.
  int requeueIndex_ = 0;
  uint64_t completedCount_ = 0;
  // Service thread → audio thread.
  CompletedQueue completed_;
  std::atomic<uint64_t> latestCompleted_{0};
  // The audio thread's while the input runs; the user-interface thread's
  // while it does not.
  int currentIndex_ = 0;
  const int16_t* currentData_ = nullptr;

  std::mutex section_;  // the service thread and Start/Stop; never the audio thread
  std::unique_ptr<WaveInDevice> deviceHandle_;
  std::vector<int16_t> memory_;
  std::counting_semaphore<1024> completions_{0};
  std::thread thread_;
};

}  // namespace tg
