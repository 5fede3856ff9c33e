#pragma once

#include <atomic>
#include <vector>

#include "engine/devices/WaveDevice.h"

namespace tg {

// What the output and input streams share: the buffer queue's shape, the
// device list and the rules for changing either while the stream runs.
class KWWaveStreamBase {
 public:
  static constexpr int kDefaultBufferCount = 4;
  static constexpr int kDefaultBufferSize = 16384;

  virtual ~KWWaveStreamBase() = default;

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
  int BufferDurationMs() const { return bufferDurationMs_; }
  int FramesPerBuffer() const { return bufferSize_ / kDeviceFrameBytes; }

 protected:
  explicit KWWaveStreamBase(std::vector<WaveDeviceInfo> devices);
  virtual bool StreamActive() const = 0;
  virtual void StartStream() = 0;
  virtual void StopStream() = 0;
  // The buffers' memory no longer fits their shape.
  virtual void ReleaseBuffers() = 0;
  // The layer's identifier of the chosen device; throws when there is none.
  template <typename Error>
  int ChosenDeviceId(const char* noneText) const {
    if (devices_.empty()) throw Error(0, noneText);
    return devices_[static_cast<size_t>(device_)].id;
  }

  // Atomic: the audio thread reads the input's size while the settings
  // dialog may give it another one.
  std::atomic<int> bufferCount_ = kDefaultBufferCount;
  std::atomic<int> bufferSize_ = kDefaultBufferSize;
  int bufferDurationMs_;
  int device_ = 0;
  std::vector<WaveDeviceInfo> devices_;
};

}  // namespace tg
