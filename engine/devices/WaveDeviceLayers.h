#pragma once

#include "engine/devices/WaveDevice.h"

namespace tg {

// The name under which the silent device is always listed, last.
inline constexpr const char* kSilentDeviceName = "Silent (no sound card)";

// Every PortAudio device of the machine (ALSA and, through it, PipeWire or
// PulseAudio; JACK when a server runs), then the silent device.
class StandardWaveDeviceLayer final : public WaveDeviceLayer {
 public:
  std::vector<WaveDeviceInfo> OutputDevices() override;
  std::vector<WaveDeviceInfo> InputDevices() override;
  std::unique_ptr<WaveOutDevice> CreateOutput(int id) override;
  std::unique_ptr<WaveInDevice> CreateInput(int id) override;
};

// Only the silent device: for headless use and tests.
class SilentWaveDeviceLayer final : public WaveDeviceLayer {
 public:
  std::vector<WaveDeviceInfo> OutputDevices() override;
  std::vector<WaveDeviceInfo> InputDevices() override;
  std::unique_ptr<WaveOutDevice> CreateOutput(int id) override;
  std::unique_ptr<WaveInDevice> CreateInput(int id) override;
};

}  // namespace tg
