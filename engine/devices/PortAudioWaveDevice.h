#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "base/SpscQueue.h"
#include "engine/devices/WaveDevice.h"

typedef void PaStream;

namespace tg {

// PortAudio itself: initialised while any user needs it, with the ALSA and
// JACK libraries kept from printing their probing noise. Rescanning the
// devices means terminating and initialising again, never with a stream open.
class PortAudioSystem {
 public:
  static PortAudioSystem& Instance();
  // Leaves PortAudio (and so a JACK server) cleanly when the program ends.
  ~PortAudioSystem();
  // Initialises PortAudio if nobody has; false (and no devices) when it fails.
  bool Acquire();
  void Release();
  // Every device that plays (or captures) 44100 Hz 16-bit stereo.
  std::vector<WaveDeviceInfo> Devices(bool output);
  // Terminates and initialises again, so that a JACK server started since is seen.
  bool Rescan();

 private:
  std::mutex mutex_;
  int users_ = 0;
  bool initialised_ = false;
};

// A PortAudio stream in callback mode. Buffers cross to the callback through
// a lock-free queue; the callback neither locks nor allocates.
class PortAudioWaveOutDevice final : public WaveOutDevice {
 public:
  explicit PortAudioWaveOutDevice(int deviceIndex) : deviceIndex_(deviceIndex) {}
  ~PortAudioWaveOutDevice() override;
  void Open(CompletionSink& sink) override;
  void Pause() override { paused_ = true; }
  void Restart() override { paused_ = false; }
  void Write(const int16_t* frames, int frameCount) override;
  void Reset() override;
  void Close() override;
  int64_t LatencyFrames() const override { return latencyFrames_; }

  // The PortAudio callback's work: fills frames of output.
  void Render(int16_t* out, unsigned long frames) noexcept;

 private:
  struct Entry {
    const int16_t* frames = nullptr;
    int frameCount = 0;
  };
  int deviceIndex_;
  PaStream* stream_ = nullptr;
  CompletionSink* sink_ = nullptr;
  SpscQueue<Entry, 64> queue_;
  Entry current_;
  int played_ = 0;                  // frames of the current buffer already played
  int64_t streamFramesPlayed_ = 0;  // the callback's, since the open
  std::atomic<bool> paused_{false};
  bool acquired_ = false;
  int64_t latencyFrames_ = 0;
};

class PortAudioWaveInDevice final : public WaveInDevice {
 public:
  explicit PortAudioWaveInDevice(int deviceIndex) : deviceIndex_(deviceIndex) {}
  ~PortAudioWaveInDevice() override;
  void Open(CompletionSink& sink) override;
  void AddBuffer(int16_t* frames, int frameCount) override;
  void Start() override;
  void Stop() override;
  void Reset() override;
  void Close() override;

  // The PortAudio callback's work: takes frames of captured input.
  void Capture(const int16_t* in, unsigned long frames) noexcept;

 private:
  struct Entry {
    int16_t* frames = nullptr;
    int frameCount = 0;
  };
  void ReturnAll();

  int deviceIndex_;
  PaStream* stream_ = nullptr;
  CompletionSink* sink_ = nullptr;
  SpscQueue<Entry, 64> queue_;
  Entry current_;
  int filled_ = 0;
  bool acquired_ = false;
};

}  // namespace tg
