#include "engine/devices/WaveDeviceLayers.h"

#include "engine/devices/PortAudioWaveDevice.h"
#include "engine/devices/SilentWaveDevice.h"

namespace tg {

namespace {
constexpr int kSilentId = -1;
}

std::vector<WaveDeviceInfo> StandardWaveDeviceLayer::OutputDevices() {
  auto devices = PortAudioSystem::Instance().Devices(true);
  devices.push_back({kSilentDeviceName, kSilentId});
  return devices;
}

std::vector<WaveDeviceInfo> StandardWaveDeviceLayer::InputDevices() {
  auto devices = PortAudioSystem::Instance().Devices(false);
  devices.push_back({kSilentDeviceName, kSilentId});
  return devices;
}

std::unique_ptr<WaveOutDevice> StandardWaveDeviceLayer::CreateOutput(int id) {
  if (id == kSilentId) return std::make_unique<SilentWaveOutDevice>();
  return std::make_unique<PortAudioWaveOutDevice>(id);
}

std::unique_ptr<WaveInDevice> StandardWaveDeviceLayer::CreateInput(int id) {
  if (id == kSilentId) return std::make_unique<SilentWaveInDevice>();
  return std::make_unique<PortAudioWaveInDevice>(id);
}

std::vector<WaveDeviceInfo> SilentWaveDeviceLayer::OutputDevices() {
  return {{kSilentDeviceName, kSilentId}};
}
std::vector<WaveDeviceInfo> SilentWaveDeviceLayer::InputDevices() {
  return {{kSilentDeviceName, kSilentId}};
}
std::unique_ptr<WaveOutDevice> SilentWaveDeviceLayer::CreateOutput(int) {
  return std::make_unique<SilentWaveOutDevice>();
}
std::unique_ptr<WaveInDevice> SilentWaveDeviceLayer::CreateInput(int) {
  return std::make_unique<SilentWaveInDevice>();
}

}  // namespace tg
