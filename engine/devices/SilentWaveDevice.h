#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/devices/SpscQueue.h"
#include "engine/devices/WaveDevice.h"

namespace tg {

// Plays or captures nothing, but at the pace of a real sound card: each
// buffer takes its own duration of wall-clock time. Lets the program run,
// and be tested, on a machine without sound hardware.
class SilentDeviceClock {
 protected:
  struct Entry {
    int16_t* frames = nullptr;
    int frameCount = 0;
  };
  using Clock = std::chrono::steady_clock;

  ~SilentDeviceClock() { StopThread(); }
  void StartThread();
  void StopThread();
  // Runs on the device thread: waits until the entry's time is up; false
  // when the device is closing meanwhile.
  bool WaitFor(const Entry& entry);
  // The device thread's work: take, wait, complete.
  virtual void Run() = 0;
  // Posts the completion of every buffer the device still holds.
  void ForgetAll();

  CompletionSink* sink_ = nullptr;
  SpscQueue<Entry, 64> queue_;
  Entry current_;
  bool hasCurrent_ = false;
  std::atomic<bool> running_{false};
  Clock::time_point clock_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

class SilentWaveOutDevice final : public WaveOutDevice, private SilentDeviceClock {
 public:
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
