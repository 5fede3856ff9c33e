#include "engine/streams/KWWaveStreamBase.h"

#include <algorithm>

#include "dsp/BlockConstants.h"

namespace tg {

namespace {
// Whole frames, as the device plays them.
int DurationMs(int bufferSize) {
  const int frames = bufferSize / kDeviceFrameBytes;
  return static_cast<int>(frames / static_cast<double>(kDeviceSampleRate) * 1000 + 1);
}
}  // namespace

KWWaveStreamBase::KWWaveStreamBase(std::vector<WaveDeviceInfo> devices)
    : bufferDurationMs_(DurationMs(kDefaultBufferSize)), devices_(std::move(devices)) {}

void KWWaveStreamBase::SetBuffers(int count, int size) {
  count = std::clamp(count, 1, 16);
  // Whole blocks: the engine fills and reads a buffer a block at a time, and
  // a part block would be left unwritten or read past the buffer's end.
  constexpr int kBlockBytes = kBlockSize * kDeviceFrameBytes;
  size = std::max(size / kBlockBytes * kBlockBytes, kBlockBytes);
  if (count == bufferCount_ && size == bufferSize_) return;
  const bool wasActive = StreamActive();
  if (wasActive) StopStream();
  bufferCount_ = count;
  bufferSize_ = size;
  ReleaseBuffers();
  bufferDurationMs_ = DurationMs(size);
  if (wasActive) StartStream();
}

void KWWaveStreamBase::SetDevice(int device) {
  if (device < 0 || device >= DeviceCount() || device == device_) return;
  device_ = device;
  if (StreamActive()) {
    StopStream();
    StartStream();
  }
}

}  // namespace tg
