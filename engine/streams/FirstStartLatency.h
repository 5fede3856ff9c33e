#pragma once

#include <functional>
#include <optional>

#include "engine/streams/LatencyProbe.h"

namespace tg {

class KWWaveInStream;
class KWWaveOutStream;
class SettingsStore;

// The output's buffer shape chosen on the program's first start: three
// buffers of the smallest size the device plays without an overload.
struct LatencyChoice {
  int count = 0;
  int size = 0;  // bytes
  bool operator==(const LatencyChoice&) const = default;
};

class FirstStartLatency {
 public:
  static constexpr int kBufferCount = 3;
  // Tried smallest first; the last is taken without a trial when every
  // other failed, as the largest a first start offers.
  static constexpr int kSizes[] = {1024, 2048, 4096, 16384};

  // Tries one shape and tells how the device coped.
  using Trial = std::function<ProbeOutcome(int count, int size)>;

  explicit FirstStartLatency(Trial trial) : trial_(std::move(trial)) {}
  // Trials by a LatencyProbe on the stream.
  FirstStartLatency(KWWaveOutStream& out, LatencyProbe probe);

  // UI thread. Throws what the trial throws (EWaveOutError: no device).
  LatencyChoice Choose() const;

  // Whether no output settings were ever stored: the program's first start.
  static bool IsFirstStart(const SettingsStore& settings);

  // UI thread, before an engine owns the streams. With no output settings
  // stored yet, chooses the shape, gives it to the output stream and stores
  // both streams' settings at once; returns the choice. Nothing happens, and
  // nothing is returned, when settings were stored before or the device
  // cannot be opened (the next start tries again).
  static std::optional<LatencyChoice> OnFirstStart(SettingsStore& settings, KWWaveOutStream& out,
                                                   KWWaveInStream& in,
                                                   LatencyProbe probe = LatencyProbe());

 private:
  Trial trial_;
};

}  // namespace tg
