#include "engine/streams/StreamSettings.h"

#include <string>
#include <vector>

#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "host/SettingsStore.h"

namespace tg {

namespace {

constexpr int kMinStoredCount = 2;
constexpr int kMaxStoredCount = 8;
constexpr int kFallbackCount = 4;

int StoredCount(const SettingsStore& settings, const std::string& group, int current) {
  const auto count = settings.ReadInt(group, "BufferCount");
  if (!count) return current;
  return *count < kMinStoredCount || *count > kMaxStoredCount ? kFallbackCount
                                                              : static_cast<int>(*count);
}

int StoredSize(const SettingsStore& settings, const std::string& group, int current) {
  const auto size = settings.ReadInt(group, "BufferSize");
  if (!size || *size <= 0 || *size > (1 << 24)) return current;
  return static_cast<int>(*size);
}

// The stored device: by name if it is still listed, else by its index.
int StoredDevice(const SettingsStore& settings, const std::string& group,
                 const std::vector<WaveDeviceInfo>& devices, int current) {
  if (const auto name = settings.ReadString(group, "DeviceName")) {
    for (size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].name == *name) return static_cast<int>(i);
    }
  }
  const auto id = settings.ReadInt(group, "DeviceID");
  return id && *id >= 0 && *id < static_cast<int64_t>(devices.size()) ? static_cast<int>(*id)
                                                                      : current;
}

std::string DeviceName(const std::vector<WaveDeviceInfo>& devices, int index) {
  return index >= 0 && index < static_cast<int>(devices.size())
             ? devices[static_cast<size_t>(index)].name
             : std::string();
}

}  // namespace

void LoadStreamSettings(const SettingsStore& settings, KWWaveOutStream& out, KWWaveInStream& in) {
  const std::string outGroup = SettingsGroup("OutStream");
  const std::string inGroup = SettingsGroup("InStream");
  if (settings.HasGroup(outGroup)) {
    out.SetDevice(StoredDevice(settings, outGroup, out.DeviceNames(), out.Device()));
    out.SetBuffers(StoredCount(settings, outGroup, out.BufferCount()),
                   StoredSize(settings, outGroup, out.BufferSize()));
    if (const auto overdrive = settings.ReadBool(outGroup, "Overdrive"))
      out.SetOverdrive(*overdrive);
  }
  if (settings.HasGroup(inGroup)) {
    in.SetDevice(StoredDevice(settings, inGroup, in.DeviceNames(), in.Device()));
    in.SetBuffers(StoredCount(settings, inGroup, in.BufferCount()),
                  StoredSize(settings, inGroup, in.BufferSize()));
  }
  // The input must deliver at least a whole output buffer at a time.
  if (in.BufferSize() < out.BufferSize()) in.SetBufferSize(out.BufferSize());
}

void StoreStreamSettings(SettingsStore& settings, const KWWaveOutStream& out,
                         const KWWaveInStream& in) {
  const std::string outGroup = SettingsGroup("OutStream");
  const std::string inGroup = SettingsGroup("InStream");
  settings.WriteInt(outGroup, "DeviceID", out.Device());
  settings.WriteString(outGroup, "DeviceName", DeviceName(out.DeviceNames(), out.Device()));
  settings.WriteInt(outGroup, "BufferSize", out.BufferSize());
  settings.WriteInt(outGroup, "BufferCount", out.BufferCount());
  settings.WriteBool(outGroup, "Overdrive", out.Overdrive());
  settings.WriteInt(inGroup, "DeviceID", in.Device());
  settings.WriteString(inGroup, "DeviceName", DeviceName(in.DeviceNames(), in.Device()));
  settings.WriteInt(inGroup, "BufferSize", in.BufferSize());
  settings.WriteInt(inGroup, "BufferCount", in.BufferCount());
}

int LoadProcessingThreads(const SettingsStore& settings) {
  constexpr int kMostThreads = 64;
  const auto threads = settings.ReadInt(SettingsGroup("OutStream"), "ProcessingThreads");
  return threads && *threads >= 0 && *threads <= kMostThreads ? static_cast<int>(*threads) : 0;
}

void StoreProcessingThreads(SettingsStore& settings, int threads) {
  settings.WriteInt(SettingsGroup("OutStream"), "ProcessingThreads", threads);
}

bool LoadOutputLimited(const SettingsStore& settings) {
  return settings.ReadBool(SettingsGroup("OutStream"), "LimitOutput").value_or(false);
}

void StoreOutputLimited(SettingsStore& settings, bool on) {
  settings.WriteBool(SettingsGroup("OutStream"), "LimitOutput", on);
}

int LoadLastMinutes(const SettingsStore& settings) {
  const auto minutes = settings.ReadInt(SettingsGroup("OutStream"), "KeepLastMinutes");
  return minutes && *minutes >= 0 && *minutes <= 10 ? static_cast<int>(*minutes) : 5;
}

void StoreLastMinutes(SettingsStore& settings, int minutes) {
  settings.WriteInt(SettingsGroup("OutStream"), "KeepLastMinutes", minutes);
}

}  // namespace tg
