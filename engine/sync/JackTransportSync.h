#pragma once

#include <atomic>
#include <cstdint>

#include "engine/sync/JackTransportLink.h"

namespace tg {

class MidiClockSync;
class TempoClock;

// The tempo clock and the JACK transport, live, on the audio thread. Whether
// following (the clock source is the JACK transport) or leading, the clock
// starts, stops and locates with the transport, for the frame at which each
// block leaves the output, and its position is the timebase's bar, beat and
// tick where there are any, else the frames counted at the program's own
// tempo. Following, the tempo is the timebase's (held to the program's
// range as a MIDI clock's is); leading, the program's, and the timebase is
// the program's own client. A start finds the clock a queue of buffers
// behind the transport: it catches up by pulling each block's advance, or
// jumps when far off. Every block is left on the trail, from which the
// timebase tells a clock a MIDI clock leads. Renders and the fills that
// prime the output never come here. It never blocks or allocates.
class JackTransportSync {
 public:
  // The share of the position error taken up in one block.
  static constexpr double kPullPerBlock = 0.2;
  // ... but never more than half a block's own advance either way.
  static constexpr double kMostPull = 0.5;
  // Further off than this, the clock jumps.
  static constexpr double kJumpTicks = 12.0;

  JackTransportSync(TempoClock& clock, MidiClockSync& clockSync)
      : clock_(clock), clockSync_(clockSync) {}

  // UI thread.
  void SetLeading(bool lead) { leading_.store(lead, std::memory_order_relaxed); }
  bool Leading() const { return leading_.load(std::memory_order_relaxed); }
  JackTransportLink& Link() { return link_; }
  const JackTransportLink& Link() const { return link_; }
  // The UI thread holding the engine lock: audio out starts, its first
  // fills priming the device, its output on a JACK server or not.
  void Restart(int primingFills, bool outputOnJack);
  // Any thread: whether the transport moved the clock in the last block.
  bool Engaged() const { return engaged_.load(std::memory_order_relaxed); }

  // Audio thread: at the start of each live fill, and before and after each
  // of its blocks (which begin at that rendered frame).
  void BeginFill();
  void BeforeBlock(int64_t blockFirstFrame);
  void AfterBlock(double positionBefore, bool runningBefore, double samplesPerClock,
                  int64_t blockFirstFrame);

 private:
  // Where the transport puts the clock: a position at a server frame, and
  // whether it runs on from there.
  struct Anchor {
    int64_t server = 0;
    double ticks = 0.0;
    bool rolling = false;
    double samplesPerClock = 0.0;
  };
  void Take(const JackTransportReading& r, double samplesPerClock, double ownSamplesPerClock);
  // Where the clock belongs at a server frame.
  double TargetAt(int64_t server) const;
  void Steer(double target, double samplesPerClock);

  TempoClock& clock_;
  MidiClockSync& clockSync_;
  JackTransportLink link_;
  std::atomic<bool> leading_{false};
  std::atomic<bool> engaged_{false};
  // The audio thread's.
  bool outputOnJack_ = false;
  int primingLeft_ = 0;
  bool priming_ = false;
  bool haveLast_ = false;
  JackTransportReading last_{};
  Anchor anchor_{};
  double baseSamplesPerClock_ = 0.0;  // the block's tempo, before its pull
  bool steered_ = false;
};

}  // namespace tg
