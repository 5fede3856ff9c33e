#include "engine/sync/LinkClockSync.h"

#include <algorithm>
#include <cmath>

#include "dsp/BlockConstants.h"
#include "engine/ClockSource.h"
#include "engine/midi/BlockTimeline.h"
#include "engine/midi/MidiClockSync.h"
#include "engine/midi/MidiEvent.h"
#include "engine/sync/LinkSession.h"
#include "graph/TempoClock.h"

namespace tg {

namespace link_clock_sync {

constexpr double kTicksPerBar = TempoClock::kTicksPerBeat * LinkSession::kQuantum;
constexpr double kBlockMicros = kBlockSize * 1e6 / kSampleRate;
// A block may take from half to twice its own advance to close a small
// error: never backwards, so no tick plays twice.
constexpr double kLeastAdvance = 0.5;
constexpr double kMostAdvance = 2.0;
// Further off than this (the session's timeline moved under us), the clock
// jumps to the session's nearest bar.
constexpr double kJumpTicks = 3.0;
// A start heard this late has missed its bar, and waits for the next.
constexpr double kLateMicros = 2.0 * kBlockMicros;
// Beats this close below a bar count as on it.
constexpr double kOnTheBar = 1e-6;
// The output's time follows what the fills tell by at most 2 ms a second
// (far more than a sound card's clock drifts), unless it is this far off.
constexpr double kMostSlew = 0.002;
constexpr double kRetakeMicros = 5000.0;

double NearestBars(double ticks) { return std::round(ticks / kTicksPerBar) * kTicksPerBar; }

}  // namespace link_clock_sync

bool LinkClockSync::Leads() const {
  return follow_.Source() == ClockSource::Link && session_.Joined();
}

void LinkClockSync::RequestTempo(double tempo) {
  requestedTempo_.store(tempo, std::memory_order_relaxed);
  tempoRequests_.fetch_add(1, std::memory_order_release);
}

void LinkClockSync::Stopped() {
  // A tempo the audio thread had no time to hand over.
  const uint32_t requests = tempoRequests_.load(std::memory_order_acquire);
  if (requests != tempoRequestsSeen_) {
    tempoRequestsSeen_ = requests;
    if (session_.Joined()) session_.SetTempoNow(requestedTempo_.load(std::memory_order_relaxed));
  }
  live_ = false;
  waiting_ = stopping_ = aligned_ = outputBaseKnown_ = false;
  // A wanted clock starts again at a bar of the session when audio does.
  wantSeen_ = false;
  if (Leads()) clock_.SetRunning(false);
}

int64_t LinkClockSync::OutputMicros(int64_t frame) const {
  return std::llround(outputBase_ + static_cast<double>(frame) * 1e6 / kSampleRate);
}

void LinkClockSync::WaitForBarAfter(int64_t micros) {
  using link_clock_sync::kOnTheBar;
  const double bars = session_.BeatAt(micros) / LinkSession::kQuantum;
  startBar_ = std::ceil(bars - kOnTheBar) * LinkSession::kQuantum;
  startAt_ = session_.TimeAtBeat(startBar_);
  waiting_ = true;
}

void LinkClockSync::BeginFill(int64_t firstFrame, int frameCount, int64_t playoutFrames) {
  using namespace link_clock_sync;
  // The fills that prime the output tell nothing of time, and never touch
  // the session (they run on the user-interface thread).
  if (!Leads() || !timeline_.Known()) {
    if (live_) {
      live_ = false;
      waiting_ = stopping_ = aligned_ = wantSeen_ = outputBaseKnown_ = false;
    }
    if (follow_.Source() == ClockSource::Link) follow_.LeadNoMore();
    return;
  }
  live_ = true;
  // Frame 0's sound left the output when its fill began (at the earliest,
  // as the timeline keeps it) and the frames queued before it had played.
  const int64_t steadyNow = SteadyNanoseconds();
  linkAtFill_ = LinkSession::NowMicros();
  const int64_t leftAt = timeline_.FillTime(0) + BlockTimeline::FramesToNanoseconds(playoutFrames);
  const double base =
      static_cast<double>(linkAtFill_) + static_cast<double>(leftAt - steadyNow) / 1000.0;
  const double most = kMostSlew * frameCount * 1e6 / kSampleRate;
  if (!outputBaseKnown_ || std::abs(base - outputBase_) > kRetakeMicros) {
    outputBase_ = base;
    outputBaseKnown_ = true;
  } else {
    outputBase_ += std::clamp(base - outputBase_, -most, most);
  }
  session_.Capture();
  const int64_t now = OutputMicros(firstFrame);
  bool changed = false;

  const uint32_t requests = tempoRequests_.load(std::memory_order_acquire);
  if (requests != tempoRequestsSeen_) {
    tempoRequestsSeen_ = requests;
    session_.SetTempo(requestedTempo_.load(std::memory_order_relaxed), now);
    changed = true;
  }
  tempo_ = follow_.FollowTempo(session_.Tempo(), ClockSource::Link);
  held_ = follow_.TempoHeld();
  if (held_) aligned_ = false;  // a tempo we cannot play: the clock runs on its own

  // Ours drive the session's start and stop, and the session's drive ours.
  bool want = Wanted();
  bool told = false;
  if (session_.StartStopSync()) {
    const bool playing = session_.IsPlaying();
    if (want != wantSeen_) {
      if (playing != want) {
        session_.SetPlaying(want, now);
        changed = true;
      }
      sessionPlayingSeen_ = want;
    } else if (playing != sessionPlayingSeen_) {
      sessionPlayingSeen_ = playing;
      want = playing;
      told = true;
      wanted_.store(playing, std::memory_order_relaxed);
    }
  }
  if (want && !wantSeen_) {
    stopping_ = false;
    if (clock_.IsRunning()) {
      aligned_ = false;  // running already: it moves onto the session's phase
    } else if (told) {
      WaitForBarAfter(session_.PlayingChangedAt());
    } else {
      session_.RequestBarAt(now);
      changed = true;
      WaitForBarAfter(now);
    }
  } else if (!want && wantSeen_) {
    waiting_ = false;
    if (told) {
      stopping_ = true;
      stopAt_ = session_.PlayingChangedAt();
    } else {
      clock_.SetRunning(false);
    }
  }
  wantSeen_ = want;
  if (changed) session_.Commit();
}

void LinkClockSync::BeforeBlock(int64_t blockFirstFrame) {
  using namespace link_clock_sync;
  if (!live_) return;
  const int64_t at = OutputMicros(blockFirstFrame);
  if (stopping_ && at >= stopAt_) {
    stopping_ = false;
    clock_.SetRunning(false);
  }
  if (waiting_ && at >= startAt_) {
    if (static_cast<double>(at - startAt_) > kLateMicros) {
      WaitForBarAfter(at);
    } else {
      // From the start of the bar the clock stands in (or the next).
      waiting_ = false;
      const double position =
          std::ceil(clock_.Position() / kTicksPerBar - kOnTheBar) * kTicksPerBar;
      clock_.SetPosition(position);
      offsetTicks_ = startBar_ * TempoClock::kTicksPerBeat - position;
      aligned_ = true;
      clock_.SetRunning(true);
    }
  }
  double samplesPerClock = TempoClock::SamplesPerClockForTempo(tempo_);
  const double sessionBeat = session_.BeatAt(at);
  if (clock_.IsRunning() && !held_) {
    const double from = sessionBeat * TempoClock::kTicksPerBeat;
    const double to = session_.BeatAt(at + std::llround(kBlockMicros)) * TempoClock::kTicksPerBeat;
    double position = clock_.Position();
    if (!aligned_) {
      offsetTicks_ = NearestBars(from - position);
      aligned_ = true;
    }
    double error = from - offsetTicks_ - position;
    if (std::abs(error) > kJumpTicks) {
      offsetTicks_ = NearestBars(from - position);
      error = from - offsetTicks_ - position;
      if (std::abs(error) > kJumpTicks) {
        position += error;
        clock_.SetPosition(position);
      }
    }
    const double own = to - from;
    if (own > 0.0) {
      const double advance =
          std::clamp(to - offsetTicks_ - position, kLeastAdvance * own, kMostAdvance * own);
      samplesPerClock = kBlockSize / advance;
    }
  }
  clock_.SetSamplesPerClock(samplesPerClock);
  if (marking_.load(std::memory_order_relaxed)) {
    marks_.Push({linkAtFill_, at, clock_.Position() / TempoClock::kTicksPerBeat, sessionBeat,
                 tempo_, clock_.IsRunning()});
  }
}

}  // namespace tg
