#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tg {

// The one format every stream uses: 44100 frames a second, 16-bit, stereo.
inline constexpr int kDeviceSampleRate = 44100;
inline constexpr int kDeviceChannels = 2;
inline constexpr int kDeviceFrameBytes = 4;

// A failing device operation; the message is the device layer's own text.
class EWaveDeviceError : public std::runtime_error {
 public:
  EWaveDeviceError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};
class EWaveOutError : public EWaveDeviceError {
  using EWaveDeviceError::EWaveDeviceError;
};
class EWaveInError : public EWaveDeviceError {
  using EWaveDeviceError::EWaveDeviceError;
};

// Told once for every buffer a device has finished with (played, or filled
// with captured sound). Called on the device's own thread: it must not block.
class CompletionSink {
 public:
  virtual ~CompletionSink() = default;
  virtual void BufferDone() noexcept = 0;
};

// A sound output. Buffers written to it are played in order; each one's
// completion is posted once it has been played. With nothing written it
// plays silence. Buffers belong to the caller and must stay untouched until
// their completion. Operations throw EWaveOutError.
class WaveOutDevice {
 public:
  virtual ~WaveOutDevice() = default;
  virtual void Open(CompletionSink& sink) = 0;
  // Holds playback (silence, no completions) until Restart.
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  virtual void Write(const int16_t* frames, int frameCount) = 0;
  // Stops and forgets every written buffer, posting their completions.
  virtual void Reset() = 0;
  virtual void Close() = 0;
  // Frames between a buffer's completion and its sound at the output (the
  // sound server's own buffers), once open; 0 where none is known.
  virtual int64_t LatencyFrames() const { return 0; }
};

// A sound input. Buffers added to it are filled in order while it runs; each
// one's completion is posted once it is full. Operations throw EWaveInError.
class WaveInDevice {
 public:
  virtual ~WaveInDevice() = default;
  virtual void Open(CompletionSink& sink) = 0;
  virtual void AddBuffer(int16_t* frames, int frameCount) = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Stops and returns every added buffer, posting their completions.
  virtual void Reset() = 0;
  virtual void Close() = 0;
};

struct WaveDeviceInfo {
  std::string name;          // as a person recognises it: "host: device"
  int id = 0;                // the layer's own identifier
  bool throughJack = false;  // plays through a JACK server, in its cycles
};

// The devices a machine offers that play or capture the stream format.
class WaveDeviceLayer {
 public:
  virtual ~WaveDeviceLayer() = default;
  virtual std::vector<WaveDeviceInfo> OutputDevices() = 0;
  virtual std::vector<WaveDeviceInfo> InputDevices() = 0;
  virtual std::unique_ptr<WaveOutDevice> CreateOutput(int id) = 0;
  virtual std::unique_ptr<WaveInDevice> CreateInput(int id) = 0;
};

}  // namespace tg
