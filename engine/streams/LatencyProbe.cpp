#include "engine/streams/LatencyProbe.h"

#include <algorithm>
#include <cmath>
#include <semaphore>

#include "engine/streams/KWWaveOutStream.h"

namespace tg {

namespace {

using std::chrono::milliseconds;

// Start-up is forgiven: a device may stumble while its stream starts, as it
// does on every start of the program, without that saying anything about
// how it keeps up afterwards.
milliseconds SettlingTime(milliseconds window) { return window / 8; }

// How much slower than the clock a device may fill its buffers over the
// window: far more than any sound card's drift, far less than a device
// that plays silence between its buffers.
constexpr double kPaceTolerance = 1.1;

int BuffersIn(milliseconds span, int frames) {
  const double buffers = static_cast<double>(span.count()) / 1000.0 * kDeviceSampleRate / frames;
  return std::max(1, static_cast<int>(std::ceil(buffers)));
}

// Leaves the stream as it found it: stopped, with no fill handler that
// refers to a probe that is gone.
class ProbeRun {
 public:
  explicit ProbeRun(KWWaveOutStream& out) : out_(out) {}
  ~ProbeRun() {
    try {
      out_.Stop();
    } catch (const EWaveOutError&) {
    }
    out_.SetOnFillBuffer(nullptr);
  }
  ProbeRun(const ProbeRun&) = delete;
  ProbeRun& operator=(const ProbeRun&) = delete;

 private:
  KWWaveOutStream& out_;
};

}  // namespace

milliseconds LatencyProbe::Patience() const {
  // Room for a slow machine; a device that has not played the window by then
  // is not keeping its pace.
  return (window_ + SettlingTime(window_)) * 3 / 2 + milliseconds(500);
}

ProbeOutcome LatencyProbe::Run(KWWaveOutStream& out, int count, int size) const {
  out.SetBuffers(count, size);
  const int frames = out.FramesPerBuffer();
  // One release per buffer filled; the waiting side takes them as they come,
  // so only the few filled after the wait ends pile up.
  std::counting_semaphore<1 << 20> filled{0};
  out.SetOnFillBuffer([&filled](int16_t* buffer, int frameCount) {
    std::fill(buffer, buffer + frameCount * kDeviceChannels, int16_t{0});
    filled.release();
  });

  ProbeRun run(out);
  out.Start();  // primes every buffer: `count` fills at once
  const auto started = std::chrono::steady_clock::now();
  const auto deadline = started + Patience();
  const auto settled = started + 2 * SettlingTime(window_);
  // A device that runs dry plays silence it was never asked to fill, so the
  // settling is cut short for it; the window then finds its overloads.
  const int settling = out.BufferCount() + BuffersIn(SettlingTime(window_), frames);
  for (int i = 0; i < settling && filled.try_acquire_until(settled); ++i) {
  }
  out.TakeOverload();
  const int buffers = BuffersIn(window_, frames);
  const auto windowStart = std::chrono::steady_clock::now();
  for (int i = buffers; i > 0; --i) {
    if (!filled.try_acquire_until(deadline)) return ProbeOutcome::Stalled;
    if (out.TakeOverload()) return ProbeOutcome::Overloaded;
  }
  if (out.TakeOverload()) return ProbeOutcome::Overloaded;
  // The stream counts a dry device only when every buffer comes back at
  // once; one that plays a few buffers and then silence for a while fills
  // fewer buffers than the time that passed.
  const double bufferSeconds = static_cast<double>(frames) / kDeviceSampleRate;
  const double played = buffers * bufferSeconds;
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - windowStart).count();
  return took > played * kPaceTolerance + 2 * bufferSeconds ? ProbeOutcome::Overloaded
                                                            : ProbeOutcome::Clean;
}

}  // namespace tg
