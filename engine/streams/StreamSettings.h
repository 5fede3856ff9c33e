#pragma once

namespace tg {

class KWWaveInStream;
class KWWaveOutStream;
class SettingsStore;

// The streams' stored settings: "OutStream" and "InStream" with DeviceID,
// BufferSize, BufferCount and (output) Overdrive. A device is found again by
// its stored name when the list of devices changed since.
void LoadStreamSettings(const SettingsStore& settings, KWWaveOutStream& out, KWWaveInStream& in);
void StoreStreamSettings(SettingsStore& settings, const KWWaveOutStream& out,
                         const KWWaveInStream& in);
// "ProcessingThreads" of "OutStream": 0 is automatic; nothing stored, or a
// value that makes no sense, is automatic too.
int LoadProcessingThreads(const SettingsStore& settings);
void StoreProcessingThreads(SettingsStore& settings, int threads);
// "LimitOutput" of "OutStream": whether SoundOut's limiter runs; off unless stored.
bool LoadOutputLimited(const SettingsStore& settings);
void StoreOutputLimited(SettingsStore& settings, bool on);
// "KeepLastMinutes" of "OutStream": how many minutes of what is played are
// kept for saving, 0 to 10; 5 unless a sensible value is stored.
int LoadLastMinutes(const SettingsStore& settings);
void StoreLastMinutes(SettingsStore& settings, int minutes);

}  // namespace tg
