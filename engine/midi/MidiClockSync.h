#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/SpscQueue.h"
#include "engine/ClockSource.h"
#include "engine/midi/MidiClockFollower.h"
#include "engine/midi/MidiClockLink.h"
#include "engine/midi/MidiEvent.h"

namespace tg {

class BlockTimeline;
class TempoClock;

// The tempo clock and MIDI clock, live. Following (clock source MIDI clock),
// it drives the tempo clock from the clock messages received: the tempo
// from the follower's estimate, held to the program's range, and the
// position pulled gently onto the clocks counted since Start, for the frame
// at which each block will be heard. Whatever the source, it plays the tempo
// clock's own clock, Start, Stop, Continue and song position to the MIDI
// output, each at the rendered frame where it falls. Renders never come here.
// It never blocks or allocates.
class MidiClockSync {
 public:
  static constexpr double kLowestTempo = 1.0;
  static constexpr double kHighestTempo = 240.0;

  struct Notice {
    enum class Kind : uint8_t { Lost, TempoHeld, TempoFree };
    Kind kind = Kind::Lost;
    double tempo = 0.0;                           // what the clock played, for TempoHeld
    ClockSource source = ClockSource::MidiClock;  // whose tempo
  };
  // What a notice tells the user ("" for none).
  static std::string NoticeText(const Notice& notice);

  MidiClockSync(TempoClock& clock, const BlockTimeline& timeline)
      : clock_(clock), timeline_(timeline) {}

  // UI thread.
  void SetSource(ClockSource source) { source_.store(source, std::memory_order_relaxed); }
  ClockSource Source() const { return source_.load(std::memory_order_relaxed); }
  // The tempo the clock had before following, and gets back after it.
  void SetOwnTempo(double samplesPerClock) {
    ownSamplesPerClock_.store(samplesPerClock, std::memory_order_relaxed);
  }
  double OwnSamplesPerClock() const { return ownSamplesPerClock_.load(std::memory_order_relaxed); }
  // Whether the audio thread follows a MIDI clock now, and at what tempo
  // (0 before the clock told one).
  bool Following() const { return following_.load(std::memory_order_relaxed); }
  double FollowedTempo() const { return followedTempo_.load(std::memory_order_relaxed); }
  bool TakeNotice(Notice& notice) { return notices_.Pop(notice); }
  MidiClockLink& Link() { return link_; }

  // The UI thread holding the engine lock: audio out starts, its frames
  // counted from 0 again. Following, the clock waits for the next clock.
  void Restart();
  // The UI thread, audio out stopped: nothing leads the clock now, and it
  // gets its own tempo back (an export plays that).
  void Stopped();

  // Audio thread. A clock message received; the block about to be made
  // begins at that rendered frame. With audio out stopped the UI thread,
  // holding the engine lock, hands over all but clocks.
  void Take(const MidiEvent& event, int64_t blockFirstFrame);
  // Before each live block, which begins at that rendered frame.
  void BeforeBlock(int64_t blockFirstFrame);
  // Another source (a Link session) leads the clock now at the tempo it
  // told: followed as a MIDI clock's is, held to the range and said. The
  // tempo the clock may play.
  double FollowTempo(double told, ClockSource source);
  bool TempoHeld() const { return held_; }
  // Nothing leads the clock any more: it gets its own tempo back.
  void LeadNoMore();
  // Before BeforeBlock: the JACK transport leads the clock in this block and
  // tells this tempo, followed as FollowTempo does; the clock's own tempo
  // comes back after the first block that no source follows.
  double FollowOther(double told);
  // After it, with what the clock was before it.
  void AfterBlock(double positionBefore, bool runningBefore, double samplesPerClock,
                  int64_t blockFirstFrame);
  // Frames the follower saw since Start: for tests and figures.
  const MidiClockFollower& Follower() const { return follower_; }

 private:
  void Say(Notice::Kind kind, double tempo = 0.0, ClockSource source = ClockSource::MidiClock);
  void Play(int64_t frame, uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0);
  // The rendered frame a message received is heard with.
  int64_t RenderedFrameOf(const MidiEvent& event, int64_t blockFirstFrame) const;
  // The newest frame the clock could have come by, in rendered frames.
  int64_t RenderedNow(int64_t blockFirstFrame) const;

  TempoClock& clock_;
  const BlockTimeline& timeline_;
  std::atomic<ClockSource> source_{ClockSource::Internal};
  std::atomic<double> ownSamplesPerClock_{0.0};
  std::atomic<bool> following_{false};
  std::atomic<double> followedTempo_{0.0};
  SpscQueue<Notice, 64> notices_;
  MidiClockLink link_;
  MidiClockFollower follower_;
  bool otherLeads_ = false;  // in the block about to be made
  bool held_ = false;        // the followed tempo lies outside the range
  bool lost_ = false;
  // The clock as played out.
  uint32_t run_ = 0;
  bool wasRunning_ = false;
  double nextTickOut_ = 0.0;
};

}  // namespace tg
