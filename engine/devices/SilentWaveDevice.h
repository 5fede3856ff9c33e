#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/SpscQueue.h"
#include "engine/devices/TimeSource.h"
#include "engine/devices/WaveDevice.h"

namespace tg {

// Plays or captures nothing, but at the pace of a real sound card: each
// buffer takes its own duration of wall-clock time. Lets the program run,
// and be tested, on a machine without sound hardware.
//
// Each buffer ends at the time the schedule began plus the duration of every
// buffer since, not a buffer's duration after the last wake-up: a thread
// always wakes a little late, and those delays would add up to a clock that
// runs slow. The schedule begins again with the first buffer after the device
// was paused, ran out of buffers, was reset or fell far behind.
class SilentDeviceClock {
 protected:
  struct Entry {
    int16_t* frames = nullptr;
    int frameCount = 0;
  };

  explicit SilentDeviceClock(TimeSource& time) : time_(time) {}
  ~SilentDeviceClock() { StopThread(); }
  void StartThread();
  void StopThread();
  // Device thread: waits until the entry's time is up; false when the device
  // is closing meanwhile.
  bool WaitFor(const Entry& entry);
  // Device thread: nothing to play for a moment; the next buffer begins a
  // new schedule.
  void Idle();
  // The device thread's work: take, wait, complete.
  virtual void Run() = 0;
  // Posts the completion of every buffer the device still holds.
  void ForgetAll();

  CompletionSink* sink_ = nullptr;
  SpscQueue<Entry, 64> queue_;
  Entry current_;
  bool hasCurrent_ = false;
  std::atomic<bool> running_{false};
  TimeSource& time_;
  bool scheduled_ = false;
  TimeSource::TimePoint scheduleStart_;
  int64_t scheduledFrames_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

class SilentWaveOutDevice final : public WaveOutDevice, private SilentDeviceClock {
 public:
  explicit SilentWaveOutDevice(TimeSource& time = TimeSource::Steady()) : SilentDeviceClock(time) {}
  ~SilentWaveOutDevice() override { StopThread(); }
  void Open(CompletionSink& sink) override;
  void Pause() override { paused_ = true; }
  void Restart() override { paused_ = false; }
  void Write(const int16_t* frames, int frameCount) override;
  void Reset() override;
  void Close() override { StopThread(); }

 private:
  void Run() override;
  std::atomic<bool> paused_{false};
};

class SilentWaveInDevice final : public WaveInDevice, private SilentDeviceClock {
 public:
  explicit SilentWaveInDevice(TimeSource& time = TimeSource::Steady()) : SilentDeviceClock(time) {}
  ~SilentWaveInDevice() override { StopThread(); }
  void Open(CompletionSink& sink) override;
  void AddBuffer(int16_t* frames, int frameCount) override;
  void Start() override { capturing_ = true; }
  void Stop() override { capturing_ = false; }
  void Reset() override;
  void Close() override { StopThread(); }

 private:
  void Run() override;
  std::atomic<bool> capturing_{false};
};

}  // namespace tg
