#pragma once

#include <chrono>

namespace tg {

class KWWaveOutStream;

// How an output device coped with one shape of buffers.
enum class ProbeOutcome {
  Clean,       // played the whole window without an overload
  Overloaded,  // ran dry, played silence between buffers, or filled too slowly
  Stalled,     // did not play the window in good time (or never started)
};

// Plays silence through an output stream with a given buffer shape for a
// window of time and tells whether the device kept up. The window is
// measured in buffers the stream filled, so it follows the device's own
// pace; a device that falls far behind, or never starts, is given up on.
class LatencyProbe {
 public:
  static constexpr std::chrono::milliseconds kDefaultWindow{2000};

  explicit LatencyProbe(std::chrono::milliseconds window = kDefaultWindow) : window_(window) {}

  // UI thread, with the stream stopped and no engine attached to it yet: the
  // stream keeps the shape and is stopped again afterwards. Ends at the
  // first overload. Throws EWaveOutError when the device cannot be opened.
  ProbeOutcome Run(KWWaveOutStream& out, int count, int size) const;

  std::chrono::milliseconds Window() const { return window_; }
  // The longest one run may take before it is given up on.
  std::chrono::milliseconds Patience() const;

 private:
  std::chrono::milliseconds window_;
};

}  // namespace tg
