#include "engine/sync/JackTransportSync.h"

#include <algorithm>
#include <cmath>

#include "dsp/BlockConstants.h"
#include "engine/ClockSource.h"
#include "engine/midi/MidiClockSync.h"
#include "graph/TempoClock.h"

namespace tg {

void JackTransportSync::Restart(int primingFills, bool outputOnJack) {
  primingLeft_ = primingFills;
  outputOnJack_ = outputOnJack;
  haveLast_ = false;
  steered_ = false;
  engaged_.store(false, std::memory_order_relaxed);
  link_.ForgetTrail();
}

void JackTransportSync::BeginFill() {
  priming_ = primingLeft_ > 0;
  if (priming_) --primingLeft_;
}

double JackTransportSync::TargetAt(int64_t server) const {
  if (!anchor_.rolling) return anchor_.ticks;
  return anchor_.ticks + static_cast<double>(server - anchor_.server) / anchor_.samplesPerClock;
}

void JackTransportSync::Take(const JackTransportReading& r, double samplesPerClock,
                             double ownSamplesPerClock) {
  // Every cycle says where the transport stands: by the timebase's beats
  // (the program's own, leading), else its frame at the program's tempo.
  anchor_.server = r.cycle;
  anchor_.ticks = r.bbt != 0 ? r.beats * TempoClock::kTicksPerBeat
                             : static_cast<double>(r.frame) / ownSamplesPerClock;
  anchor_.rolling = r.rolling != 0;
  anchor_.samplesPerClock = samplesPerClock;
}

void JackTransportSync::BeforeBlock(int64_t blockFirstFrame) {
  steered_ = false;
  const ClockSource source = clockSync_.Source();
  const bool follow = source == ClockSource::JackTransport;
  // With a MIDI clock leading, the transport only hears the clock's beats.
  link_.SetTimebaseHearsClock(source == ClockSource::MidiClock);
  const bool lead = !follow && source == ClockSource::Internal && Leading();
  JackTransportReading r;
  bool read = (follow || lead) && !priming_ && outputOnJack_ && link_.Attached();
  if (read && !link_.Read(r)) {
    read = haveLast_;
    r = last_;
  }
  if (!read) haveLast_ = false;
  if (!read || r.serverMinusRendered == JackTransportReading::kUnknown) {
    engaged_.store(false, std::memory_order_relaxed);
    return;
  }
  engaged_.store(true, std::memory_order_relaxed);
  const double own = clockSync_.OwnSamplesPerClock() > 0.0 ? clockSync_.OwnSamplesPerClock()
                                                           : TempoClock::kDefaultSamplesPerClock;
  double samplesPerClock = own;
  bool held = false;
  if (follow) {
    const double told = r.bbt != 0 ? r.tempo : TempoClock::TempoForSamplesPerClock(own);
    const double tempo = clockSync_.FollowOther(told);
    held = tempo != told;
    samplesPerClock = TempoClock::SamplesPerClockForTempo(tempo);
  }
  if (!haveLast_ || r.cycle != last_.cycle) {
    Take(r, samplesPerClock, own);
    last_ = r;
    haveLast_ = true;
  }
  // A held tempo cannot keep up: its position runs on its own.
  Steer(held && anchor_.rolling ? clock_.Position()
                                : TargetAt(blockFirstFrame + r.serverMinusRendered),
        samplesPerClock);
}

void JackTransportSync::Steer(double target, double samplesPerClock) {
  baseSamplesPerClock_ = samplesPerClock;
  steered_ = true;
  if (!anchor_.rolling) {
    clock_.SetRunning(false);
    clock_.SetPosition(target);
    clock_.SetSamplesPerClock(samplesPerClock);
    return;
  }
  clock_.SetRunning(true);
  double advance = kBlockSize / samplesPerClock;
  const double error = target - clock_.Position();
  // Written so that a position that is no number jumps too.
  if (!(std::abs(error) <= kJumpTicks)) {
    clock_.SetPosition(target);
  } else {
    const double most = kMostPull * advance;
    advance += std::clamp(error * kPullPerBlock, -most, most);
  }
  clock_.SetSamplesPerClock(kBlockSize / advance);
}

void JackTransportSync::AfterBlock(double positionBefore, bool runningBefore,
                                   double samplesPerClock, int64_t blockFirstFrame) {
  const double tempo =
      clockSync_.Following() && clockSync_.FollowedTempo() > 0.0
          ? clockSync_.FollowedTempo()
          : TempoClock::TempoForSamplesPerClock(clockSync_.OwnSamplesPerClock() > 0.0
                                                    ? clockSync_.OwnSamplesPerClock()
                                                    : samplesPerClock);
  link_.Played({blockFirstFrame, positionBefore, samplesPerClock, tempo, runningBefore ? 1U : 0U});
  // The pull was the block's alone: between blocks the clock shows its tempo.
  if (steered_) clock_.SetSamplesPerClock(baseSamplesPerClock_);
}

}  // namespace tg
