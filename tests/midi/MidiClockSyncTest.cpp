// The MIDI clock follower and the clock it plays, block by block without a
// device: clocks arrive at exact frames (or jittered), reach the audio
// thread a fixed lookahead late as they do live, and every figure is taken
// in frames. The same path runs live through JACK in MidiJackTest.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <random>
#include <vector>

#include "dsp/BlockConstants.h"
#include "engine/TAudioEngineModule.h"
#include "engine/midi/BlockTimeline.h"
#include "engine/midi/MidiClockPacer.h"
#include "engine/midi/MidiClockSync.h"
#include "engine/midi/MidiDispatcher.h"
#include "engine/midi/MidiInput.h"
#include "framework/TContraptionFactory.h"
#include "graph/TempoClock.h"
#include "properties/TextIO.h"

namespace tg {
namespace midi_clock_sync_test {

constexpr int64_t kLookahead = 1280;  // frames between a clock's arrival and its block

struct Sent {
  int64_t frame;
  uint8_t status;
  int data = 0;
};

// A tempo clock following a clock source, and what it played out.
struct Follow {
  TempoClock clock;
  BlockTimeline timeline;
  MidiClockSync sync{clock, timeline};
  int64_t frame = 0;  // the next block's first
  std::vector<MidiClockLink::Message> out;
  std::vector<double> tempi;  // per block

  // Where a clock locked to the source stands now: the last clock's tick and
  // the frames since it at 120.
  double LockedPosition(double lastTick, int64_t lastFrame) const {
    return lastTick +
           static_cast<double>(frame - lastFrame) / TempoClock::SamplesPerClockForTempo(120.0);
  }

  Follow() {
    sync.SetSource(ClockSource::MidiClock);
    sync.SetOwnTempo(TempoClock::SamplesPerClockForTempo(100.0));
    sync.Link().SetServerMinusRendered(0);  // server frames are rendered frames
    sync.Restart();
  }
  // Blocks until `until`, handing each message over once its frame lies
  // the lookahead behind the block; the position of every clock's own frame.
  std::vector<double> Run(const std::vector<Sent>& messages, size_t& next, int64_t until) {
    std::vector<double> positions;
    while (frame < until) {
      sync.Link().SetServerFrame(frame - kLookahead);
      for (; next < messages.size() && messages[next].frame <= frame - kLookahead; ++next) {
        MidiEvent e{0, messages[next].status, 0, 0};
        if (e.status == MidiEvent::kSongPosition)
          e = MidiEvent::SongPosition(0, messages[next].data);
        e.frame = messages[next].frame;
        sync.Take(e, frame);
      }
      sync.BeforeBlock(frame);
      const double p0 = clock.Position();
      const bool running = clock.IsRunning();
      const double spc = clock.SamplesPerClock();
      clock.AdvanceBlock();
      sync.AfterBlock(p0, running, spc, frame);
      tempi.push_back(sync.FollowedTempo());
      // Where the clock stood at each clock of the source heard in this block.
      for (const Sent& m : messages) {
        if (m.status == MidiEvent::kClock && m.frame >= frame && m.frame < frame + kBlockSize &&
            running)
          positions.push_back(p0 + static_cast<double>(m.frame - frame) / spc);
      }
      MidiClockLink::Message message;
      while (sync.Link().Pop(message)) out.push_back(message);
      frame += kBlockSize;
    }
    return positions;
  }
};

// Clocks from `from` at a tempo, optionally jittered by up to ±jitter frames.
void AddClocks(std::vector<Sent>& to, double& at, int count, double bpm, double jitter = 0.0,
               unsigned seed = 1) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> spread(-jitter, jitter);
  for (int k = 0; k < count; ++k) {
    to.push_back({static_cast<int64_t>(std::llround(at + spread(random))), MidiEvent::kClock});
    at += TempoClock::SamplesPerClockForTempo(bpm);
  }
}

TEST(MidiClockSyncTest, FollowsASteadyAndAChangingTempoAndLocksThePhase) {
  // Exact to the frame, and with ±1 ms of jitter on every clock.
  for (const double jitter : {0.0, 44.1}) {
    Follow f;
    std::vector<Sent> m{{4410, MidiEvent::kStart}};
    double at = 4410.0;
    AddClocks(m, at, 192, 120.0, jitter);
    const int64_t twoBars = m.back().frame;
    AddClocks(m, at, 192, 132.0, jitter, 2);
    const int64_t step = m[193].frame;
    size_t next = 0;
    const std::vector<double> positions = f.Run(m, next, twoBars + 1);
    const double steadyError = f.tempi.back() - 120.0;
    // The clock's position at the last of two bars of clocks against the
    // clocks counted (0 at the first).
    const double phaseError = positions.back() - 191.0;
    EXPECT_LE(std::abs(steadyError), 0.1) << jitter;
    EXPECT_LE(std::abs(phaseError), 1.0) << jitter;

    const size_t blocksBefore = f.tempi.size();
    const std::vector<double> later = f.Run(m, next, static_cast<int64_t>(at));
    // After the step: the greatest overshoot, and the frames until the tempo
    // stays within 0.1 of 132 (0.25 with jitter, which moves the estimate by
    // a few hundredths) from the block heard with the step's clock.
    const double band = jitter > 0.0 ? 0.25 : 0.1;
    double highest = 0.0;
    int64_t settled = 0;
    for (size_t b = blocksBefore; b < f.tempi.size(); ++b) {
      highest = std::max(highest, f.tempi[b]);
      const int64_t blockFrame = static_cast<int64_t>(b) * kBlockSize;
      if (std::abs(f.tempi[b] - 132.0) > band) settled = blockFrame - step + kBlockSize;
    }
    const double bar132 = 96 * TempoClock::SamplesPerClockForTempo(132.0);
    EXPECT_LE(static_cast<double>(settled), bar132) << jitter;
    EXPECT_LE(highest, 133.0) << jitter;
    EXPECT_LE(std::abs(later.back() - 383.0), 1.0) << jitter;
    std::cout << "jitter ±" << textio::FormatDouble(jitter) << " frames: tempo after 2 bars at 120 "
              << textio::FormatDouble(f.tempi[blocksBefore - 1]) << " bpm; phase at clock 191 "
              << textio::FormatDouble(phaseError) << " ticks; step to 132 within "
              << textio::FormatDouble(band) << " bpm after " << settled << " frames ("
              << textio::FormatDouble(settled / bar132) << " bar), highest "
              << textio::FormatDouble(highest) << " bpm; phase at clock 383 "
              << textio::FormatDouble(later.back() - 383.0) << " ticks\n";
  }
}

TEST(MidiClockSyncTest, TransportMessagesMoveTheClockAndItsClockOut) {
  Follow f;
  std::vector<Sent> m{{1000, MidiEvent::kStart}};
  double at = 1000.0;
  AddClocks(m, at, 48, 120.0);
  const int64_t lastClock = m.back().frame;
  m.push_back({static_cast<int64_t>(at) - 400, MidiEvent::kStop});
  size_t next = 0;
  f.Run(m, next, static_cast<int64_t>(at) - 400 + kLookahead + kBlockSize);
  // Stop pauses where the clock stood when it was heard (a block at most later).
  EXPECT_FALSE(f.clock.IsRunning());
  EXPECT_NEAR(f.clock.Position(), f.LockedPosition(47.0, lastClock), 1.0);
  const double paused = f.clock.Position();
  f.Run(m, next, static_cast<int64_t>(at) + kLookahead);
  EXPECT_EQ(f.clock.Position(), paused);
  // A song position in sixteenths sets the position; Continue resumes from it
  // at the next clock.
  m.push_back({static_cast<int64_t>(at), MidiEvent::kSongPosition, 10});
  m.push_back({static_cast<int64_t>(at) + 10, MidiEvent::kContinue});
  at += 20.0;
  f.Run(m, next, static_cast<int64_t>(at) + kLookahead + kBlockSize);
  EXPECT_EQ(f.clock.Position(), 60.0);
  EXPECT_FALSE(f.clock.IsRunning());
  AddClocks(m, at, 24, 120.0);
  f.Run(m, next, static_cast<int64_t>(at) + kLookahead);
  EXPECT_TRUE(f.clock.IsRunning());
  EXPECT_NEAR(f.clock.Position(), f.LockedPosition(60.0 + 23.0, m.back().frame), 1.0);
  // Start: from the beginning.
  m.push_back({static_cast<int64_t>(at), MidiEvent::kStart});
  f.Run(m, next, static_cast<int64_t>(at) + kLookahead + kBlockSize);
  EXPECT_EQ(f.clock.Position(), 0.0);
  EXPECT_GT(paused, 0.0);

  // The clock out told all of it: Start, clocks, Stop, song position 10 and
  // Continue, clocks, Stop (the Start pauses first) and Start again.
  std::vector<uint8_t> transport;
  int clocks = 0;
  for (const auto& message : f.out) {
    if (message.status == MidiEvent::kClock) {
      ++clocks;
      continue;
    }
    transport.push_back(message.status);
    if (message.status == MidiEvent::kSongPosition) {
      EXPECT_EQ(message.data1 | (message.data2 << 7), 10);
    }
  }
  EXPECT_EQ(transport,
            (std::vector<uint8_t>{MidiEvent::kStart, MidiEvent::kStop, MidiEvent::kSongPosition,
                                  MidiEvent::kContinue, MidiEvent::kStop}));
  // Running on between clocks, the clock played some ahead of those heard.
  EXPECT_GE(clocks, 48 + 24);
  EXPECT_LE(clocks, 48 + 24 + 6);
}

TEST(MidiClockSyncTest, ALostClockPausesAndSaysSo) {
  Follow f;
  std::vector<Sent> m{{0, MidiEvent::kStart}};
  double at = 100.0;
  AddClocks(m, at, 96, 120.0);
  size_t next = 0;
  const int64_t last = m.back().frame;
  // Just under half a second of silence: still running.
  f.Run(m, next, last + kLookahead + 21000);
  EXPECT_TRUE(f.clock.IsRunning());
  f.Run(m, next, last + kLookahead + 23000);
  EXPECT_FALSE(f.clock.IsRunning());
  MidiClockSync::Notice notice;
  ASSERT_TRUE(f.sync.TakeNotice(notice));
  EXPECT_EQ(notice.kind, MidiClockSync::Notice::Kind::Lost);
  // Clocks again: it plays on from the clocks counted.
  at = static_cast<double>(f.frame);
  AddClocks(m, at, 48, 120.0);
  f.Run(m, next, static_cast<int64_t>(at) + kLookahead);
  EXPECT_TRUE(f.clock.IsRunning());
  EXPECT_NEAR(f.clock.Position(), f.LockedPosition(96.0 + 47.0, m.back().frame), 1.0);
}

TEST(MidiClockSyncTest, ATempoOutsideTheRangeIsHeldAndSaid) {
  Follow f;
  std::vector<Sent> m{{0, MidiEvent::kStart}};
  double at = 100.0;
  AddClocks(m, at, 96, 300.0);
  size_t next = 0;
  f.Run(m, next, static_cast<int64_t>(at));
  EXPECT_EQ(f.sync.FollowedTempo(), 240.0);
  EXPECT_EQ(f.clock.SamplesPerClock(), TempoClock::SamplesPerClockForTempo(240.0));
  MidiClockSync::Notice notice;
  ASSERT_TRUE(f.sync.TakeNotice(notice));
  EXPECT_EQ(notice.kind, MidiClockSync::Notice::Kind::TempoHeld);
  EXPECT_NEAR(notice.tempo, 300.0, 1.0);  // as first estimated
}

TEST(MidiClockSyncTest, AfterARestartTheClockFollowsWhatCameMeanwhileAndWhatComesNew) {
  Follow f;
  MidiWake wake;
  MidiInput input(wake);
  MidiDispatcher dispatcher;
  dispatcher.SetClockSync(&f.sync);
  ASSERT_TRUE(dispatcher.Attach(&input));
  // Two seconds of a master at 120, then audio out stops, the master stops
  // meanwhile and audio out starts again (a document opened, say).
  std::vector<Sent> m{{1000, MidiEvent::kStart}};
  double at = 1000.0;
  AddClocks(m, at, 96, 120.0);
  size_t next = 0;
  f.Run(m, next, static_cast<int64_t>(at) + kLookahead);
  ASSERT_TRUE(f.clock.IsRunning());
  f.sync.Stopped();
  input.Received(MidiEvent{0, MidiEvent::kStop, 0, 0});
  dispatcher.ApplyNow();
  dispatcher.Restart(2);
  f.sync.Restart();
  f.frame = 0;
  f.out.clear();
  std::vector<Sent> fresh;
  size_t nextFresh = 0;
  f.Run(fresh, nextFresh, 44100);
  // It waits for the master rather than running on alone from the old run.
  EXPECT_FALSE(f.clock.IsRunning());
  EXPECT_TRUE(f.out.empty());

  // The master starts again: followed from its Start, and a clock lost in
  // this run is said within half a second.
  at = static_cast<double>(f.frame);
  fresh.push_back({f.frame, MidiEvent::kStart});
  AddClocks(fresh, at, 48, 120.0);
  f.Run(fresh, nextFresh, static_cast<int64_t>(at) + kLookahead);
  EXPECT_TRUE(f.clock.IsRunning());
  EXPECT_NEAR(f.clock.Position(), f.LockedPosition(47.0, fresh.back().frame), 1.0);
  f.Run(fresh, nextFresh, fresh.back().frame + kLookahead + 23000);
  EXPECT_FALSE(f.clock.IsRunning());
  MidiClockSync::Notice notice;
  ASSERT_TRUE(f.sync.TakeNotice(notice));
  EXPECT_EQ(notice.kind, MidiClockSync::Notice::Kind::Lost);
  // What went out told the truth: Start, its clocks and Stop, no song
  // position from the run before.
  std::vector<uint8_t> transport;
  for (const auto& message : f.out)
    if (message.status != MidiEvent::kClock) transport.push_back(message.status);
  EXPECT_EQ(transport, (std::vector<uint8_t>{MidiEvent::kStart, MidiEvent::kStop}));
}

TEST(MidiClockSyncTest, ARenderNeverFollowsTheMidiClock) {
  TContraptionFactory factory;
  TAudioEngineModule engine(factory);
  MidiWake wake;
  MidiInput input(wake);
  ASSERT_TRUE(engine.AttachMidiInput(input));
  engine.SetClockSource(ClockSource::MidiClock);
  engine.SetTempo(100.0);
  engine.StartPauseClock();  // no SoundOut: audio out stays stopped
  // A clock at 200 waits at the input, Start first.
  input.Received(MidiEvent{0, MidiEvent::kStart, 0, 0});
  for (int k = 0; k < 48; ++k) {
    MidiEvent clock{0, MidiEvent::kClock, 0, 0};
    clock.frame = k * 551;
    input.Received(clock);
  }
  std::vector<int16_t> buffer(2 * 44100);
  engine.OutStreamFillBuffer(buffer.data(), 44100);
  EXPECT_NEAR(engine.GetContext().Clock().Position(),
              44032 / TempoClock::SamplesPerClockForTempo(100.0), 1e-9);
  // Stopped, the clocks lead nothing; the Start puts the clock at the
  // beginning to wait for them.
  engine.ApplyMidiWhileStopped();
  EXPECT_FALSE(engine.FollowingMidiClock());
  EXPECT_EQ(engine.Tempo(), 100.0);
  EXPECT_EQ(engine.GetContext().Clock().Position(), 0.0);
  engine.DetachMidiInput(input);
}

// A system that sends at once (the ALSA sequencer) plays each clock when its
// frame is heard: the output's mark plus its latency, never an earlier run's
// and never one whose moment has gone.
TEST(MidiClockPacerTest, EachClockGoesWhenItsFrameIsHeard) {
  MidiClockLink link;
  link.Push({0, 0, MidiEvent::kClock});  // of a run that ended
  const uint32_t run = link.NewRun();
  for (const int64_t frame : {0, 441, 882}) link.Push({frame, run, MidiEvent::kClock});
  link.Push({1323, run, MidiEvent::kStop});
  PlayoutMark::Reading mark;
  mark.framesBefore = 0;
  mark.steadyNanoseconds = 1'000'000'000;
  mark.latencyFrames = 441;  // 10 ms
  MidiClockPacer pacer(link);
  std::vector<std::pair<int64_t, uint8_t>> sent;
  const auto send = [&](const MidiEvent& e) { sent.emplace_back(e.time, e.status); };
  constexpr int64_t kMs = 1'000'000;

  EXPECT_EQ(pacer.SendDue(1000 * kMs + 5 * kMs, &mark, send), 1010 * kMs);
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(pacer.SendDue(1010 * kMs, &mark, send), 1020 * kMs);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, 1010 * kMs);
  // 15 ms late is dropped, 5 ms late still goes.
  EXPECT_EQ(pacer.SendDue(1035 * kMs, &mark, send), 1040 * kMs);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].first, 1035 * kMs);
  // Without a mark, what waits goes at once.
  EXPECT_EQ(pacer.SendDue(1036 * kMs, nullptr, send), std::nullopt);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2].second, MidiEvent::kStop);
  // A late transport message still goes, at once: only a clock loses its moment.
  for (const uint8_t status : {MidiEvent::kClock, MidiEvent::kSongPosition, MidiEvent::kContinue})
    link.Push({1764, run, status});
  EXPECT_EQ(pacer.SendDue(1070 * kMs, &mark, send), std::nullopt);
  const std::vector<std::pair<int64_t, uint8_t>> late{{1070 * kMs, MidiEvent::kSongPosition},
                                                      {1070 * kMs, MidiEvent::kContinue}};
  EXPECT_EQ(std::vector(sent.begin() + 3, sent.end()), late);
}

}  // namespace midi_clock_sync_test
}  // namespace tg
