#include "engine/midi/MidiClockSync.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "dsp/BlockConstants.h"
#include "engine/midi/BlockTimeline.h"
#include "graph/TempoClock.h"
#include "properties/NumberText.h"

namespace tg {

namespace midi_clock_sync {

// The share of the position error taken up in one block (about 6 ms):
// an error fades within a tenth of a second, without a jump.
constexpr double kPullPerBlock = 0.1;
// ... but never more than half a block's own advance either way.
constexpr double kMostPull = 0.5;
// Further off than this (a song position while running, a long stall), the
// position jumps.
constexpr double kJumpTicks = 12.0;
constexpr int kTicksPerSixteenth = 6;

}  // namespace midi_clock_sync

void MidiClockSync::Restart() {
  run_ = link_.NewRun();
  wasRunning_ = false;
  follower_.ForgetFrames();
  lost_ = false;
  // Followed, the clock waits for the master's next clock rather than run
  // on alone from where the last run left it.
  if (Source() == ClockSource::MidiClock) clock_.SetRunning(false);
}

void MidiClockSync::Stopped() {
  following_.store(false, std::memory_order_relaxed);
  followedTempo_.store(0.0, std::memory_order_relaxed);
  if (OwnSamplesPerClock() > 0.0) clock_.SetSamplesPerClock(OwnSamplesPerClock());
  held_ = false;
}

void MidiClockSync::Say(Notice::Kind kind, double tempo, ClockSource source) {
  notices_.Push({kind, tempo, source});
}

std::string MidiClockSync::NoticeText(const Notice& notice) {
  switch (notice.kind) {
    case Notice::Kind::Lost:
      return "MIDI clock lost: the clock is paused";
    case Notice::Kind::TempoHeld:
      return std::string(notice.source == ClockSource::Link ? "The Link session's tempo "
                         : notice.source == ClockSource::JackTransport
                             ? "The JACK transport's tempo "
                             : "The MIDI clock's tempo ") +
             numbertext::Fixed(notice.tempo, 1) + " is outside 1 to 240: the clock plays " +
             numbertext::Fixed(notice.tempo < kLowestTempo ? kLowestTempo : kHighestTempo, 0);
    case Notice::Kind::TempoFree:
      break;
  }
  return {};
}

double MidiClockSync::FollowTempo(double told, ClockSource source) {
  following_.store(true, std::memory_order_relaxed);
  const double tempo = std::clamp(told, kLowestTempo, kHighestTempo);
  if ((tempo != told) != held_) {
    held_ = tempo != told;
    Say(held_ ? Notice::Kind::TempoHeld : Notice::Kind::TempoFree, told, source);
  }
  followedTempo_.store(tempo, std::memory_order_relaxed);
  return tempo;
}

double MidiClockSync::FollowOther(double told) {
  otherLeads_ = true;
  return FollowTempo(told, ClockSource::JackTransport);
}

void MidiClockSync::LeadNoMore() {
  if (!following_.load(std::memory_order_relaxed)) return;
  // Back to the clock's own tempo.
  following_.store(false, std::memory_order_relaxed);
  followedTempo_.store(0.0, std::memory_order_relaxed);
  if (OwnSamplesPerClock() > 0.0) clock_.SetSamplesPerClock(OwnSamplesPerClock());
  if (held_) Say(Notice::Kind::TempoFree);
  held_ = false;
}

void MidiClockSync::Play(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  // A full queue (no MIDI system takes them) drops the message.
  link_.Push({frame, run_, status, data1, data2});
}

int64_t MidiClockSync::RenderedFrameOf(const MidiEvent& event, int64_t blockFirstFrame) const {
  const int64_t d = link_.ServerMinusRendered();
  if (event.frame != MidiEvent::kNoFrame && d != MidiClockLink::kUnknown) return event.frame - d;
  // Without the server's frames: the steady clock, as the fills met it.
  const int64_t due = timeline_.DueFrame(event.time);
  return due == BlockTimeline::kUnknown ? blockFirstFrame : due - timeline_.LatencyFrames();
}

int64_t MidiClockSync::RenderedNow(int64_t blockFirstFrame) const {
  const int64_t d = link_.ServerMinusRendered();
  const int64_t server = link_.ServerFrame();
  if (d != MidiClockLink::kUnknown && server != MidiClockLink::kUnknown) return server - d;
  return blockFirstFrame - timeline_.LatencyFrames();
}

void MidiClockSync::Take(const MidiEvent& event, int64_t blockFirstFrame) {
  if (Source() != ClockSource::MidiClock) return;
  switch (event.status) {
    case MidiEvent::kStart:
      // From the beginning, at the first clock.
      follower_.Start();
      clock_.SetRunning(false);
      clock_.SetPosition(0.0);
      break;
    case MidiEvent::kStop:
      follower_.Stop();
      clock_.SetRunning(false);
      break;
    case MidiEvent::kContinue:
      follower_.Continue();
      break;
    case MidiEvent::kSongPosition:
      follower_.SongPosition(event.SongPositionSixteenths());
      clock_.SetPosition(static_cast<double>(follower_.NextTick()));
      break;
    case MidiEvent::kClock:
      follower_.Clock(RenderedFrameOf(event, blockFirstFrame));
      if (follower_.Running() && !clock_.IsRunning()) clock_.SetRunning(true);
      lost_ = false;
      break;
    default:
      break;
  }
}

void MidiClockSync::BeforeBlock(int64_t blockFirstFrame) {
  const bool otherLeads = std::exchange(otherLeads_, false);
  if (Source() != ClockSource::MidiClock) {
    // A Link session says so itself; the JACK transport leads in the blocks
    // it follows.
    if (Source() != ClockSource::Link && !otherLeads) LeadNoMore();
    return;
  }
  following_.store(true, std::memory_order_relaxed);
  if (!follower_.HasTempo()) return;
  const double tempo = FollowTempo(TempoClock::TempoForSamplesPerClock(follower_.FramesPerClock()),
                                   ClockSource::MidiClock);
  const double samplesPerClock = TempoClock::SamplesPerClockForTempo(tempo);

  if (follower_.Running() && follower_.Anchored() && clock_.IsRunning() &&
      RenderedNow(blockFirstFrame) - follower_.LastClockFrame() > MidiClockFollower::kLostFrames) {
    clock_.SetRunning(false);
    lost_ = true;
    Say(Notice::Kind::Lost);
  }
  double advance = kBlockSize / samplesPerClock;
  // A held tempo cannot keep up: its position runs on its own.
  if (clock_.IsRunning() && follower_.Anchored() && !held_) {
    const double error = follower_.PositionAt(blockFirstFrame, samplesPerClock) - clock_.Position();
    if (std::abs(error) > midi_clock_sync::kJumpTicks) {
      clock_.SetPosition(clock_.Position() + error);
    } else {
      const double most = midi_clock_sync::kMostPull * advance;
      advance += std::clamp(error * midi_clock_sync::kPullPerBlock, -most, most);
    }
  }
  clock_.SetSamplesPerClock(kBlockSize / advance);
}

void MidiClockSync::AfterBlock(double positionBefore, bool runningBefore, double samplesPerClock,
                               int64_t blockFirstFrame) {
  using midi_clock_sync::kTicksPerSixteenth;
  if (runningBefore && !wasRunning_) {
    if (positionBefore == 0.0) {
      Play(blockFirstFrame, MidiEvent::kStart);
    } else {
      const auto sixteenths = static_cast<int>(
          std::clamp(std::floor(positionBefore / kTicksPerSixteenth), 0.0, 16383.0));
      const MidiEvent spp = MidiEvent::SongPosition(0, sixteenths);
      Play(blockFirstFrame, spp.status, spp.data1, spp.data2);
      Play(blockFirstFrame, MidiEvent::kContinue);
    }
    nextTickOut_ = std::ceil(positionBefore);
  } else if (!runningBefore && wasRunning_) {
    Play(blockFirstFrame, MidiEvent::kStop);
  }
  wasRunning_ = runningBefore;
  if (!runningBefore) return;
  // A position set anew (a jump either way) plays on from there.
  if (positionBefore < nextTickOut_ - 1.0 ||
      positionBefore > nextTickOut_ + midi_clock_sync::kJumpTicks)
    nextTickOut_ = std::ceil(positionBefore);
  const double end = positionBefore + kBlockSize / samplesPerClock;
  while (nextTickOut_ < end) {
    const double offset = std::clamp(std::round((nextTickOut_ - positionBefore) * samplesPerClock),
                                     0.0, static_cast<double>(kBlockSize - 1));
    Play(blockFirstFrame + static_cast<int64_t>(offset), MidiEvent::kClock);
    nextTickOut_ += 1.0;
  }
}

}  // namespace tg
