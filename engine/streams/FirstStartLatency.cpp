#include "engine/streams/FirstStartLatency.h"

#include <iterator>

#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/StreamSettings.h"
#include "host/SettingsStore.h"

namespace tg {

FirstStartLatency::FirstStartLatency(KWWaveOutStream& out, LatencyProbe probe)
    : trial_([&out, probe](int count, int size) { return probe.Run(out, count, size); }) {}

LatencyChoice FirstStartLatency::Choose() const {
  const int* last = std::prev(std::end(kSizes));
  for (const int* size = std::begin(kSizes); size != last; ++size) {
    if (trial_(kBufferCount, *size) == ProbeOutcome::Clean) return {kBufferCount, *size};
  }
  return {kBufferCount, *last};
}

bool FirstStartLatency::IsFirstStart(const SettingsStore& settings) {
  return !settings.HasGroup(SettingsGroup("OutStream"));
}

std::optional<LatencyChoice> FirstStartLatency::OnFirstStart(SettingsStore& settings,
                                                             KWWaveOutStream& out,
                                                             KWWaveInStream& in,
                                                             LatencyProbe probe) {
  if (!IsFirstStart(settings)) return std::nullopt;
  const LatencyChoice before{out.BufferCount(), out.BufferSize()};
  LatencyChoice choice;
  try {
    choice = FirstStartLatency(out, probe).Choose();
  } catch (const EWaveOutError&) {
    // The device's fault is told when audio is started; the stream keeps the
    // shape it had.
    out.SetBuffers(before.count, before.size);
    return std::nullopt;
  }
  out.SetBuffers(choice.count, choice.size);
  StoreStreamSettings(settings, out, in);
  settings.Sync();
  return choice;
}

}  // namespace tg
