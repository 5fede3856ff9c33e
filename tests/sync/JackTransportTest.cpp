// The tempo clock and the JACK transport through a real JACK server (the
// dummy driver): a client of the test's own notes what the transport says
// in every cycle and moves it, or is its timebase master; the program plays
// through JACK at 3 x 256 frames. Every figure is taken in JACK frames: the
// clock as it was heard at a cycle's first frame against what the transport
// said in that cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>

#include "engine/TAudioEngineModule.h"
#include "engine/devices/PortAudioWaveDevice.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/midi/JackMidiSystem.h"
#include "engine/midi/MidiPorts.h"
#include "framework/TContraptionFactory.h"
#include "graph/TempoClock.h"
#include "host/StreamUserMessages.h"
#include "properties/TextIO.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/JackEngine.h"
#include "tests/sync/TransportTestClient.h"

namespace tg {
namespace jack_transport_test {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);
constexpr int64_t kSecond = 44100;

std::string F(double v) { return textio::FormatDouble(v); }

class JackTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // These run in CI on the dummy server the fixture starts: never skipped.
    ASSERT_TRUE(JackMidiSystem::ServerRuns()) << "no JACK server runs";
    ASSERT_TRUE(other.IsOpen());
    PortAudioSystem::Instance().Rescan();
    RegisterContraptionTypes(factory);
    engine = test::EngineOnJack(factory, layer);
    ASSERT_NE(engine, nullptr);
    engine->Host().messages = &messages;
    ports = test::JackMidiPorts(*engine);
    ASSERT_TRUE(ports->IsOpen());
    // Each test begins with the transport stopped at its start.
    other.Stop();
    other.Locate(0);
  }
  void TearDown() override {
    other.Stop();
    if (engine != nullptr) engine->StopAudioOut();
    ports.reset();
    engine.reset();
  }

  TempoClock& OurClock() { return engine->GetContext().Clock(); }
  static bool PumpUntil(const std::function<bool()>& done) {
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  // Audio out through JACK, and the clock in the transport's hands.
  void StartAudio() {
    engine->StartAudioOut();
    ASSERT_TRUE(PumpUntil([&] { return engine->JackSync().Engaged(); }));
  }
  // The clock as heard at a server frame.
  bool HeardAt(int64_t server, double& ticks) const {
    const int64_t d = engine->ClockSync().Link().ServerMinusRendered();
    double tempo = 0.0;
    return d != MidiClockLink::kUnknown && engine->JackSync().Link().At(server - d, ticks, tempo);
  }
  // Once the other client noted `frames` of cycles from the `first`: our clock as
  // heard at each rolling one against the transport's beats, in frames at
  // the transport's tempo. A window in which the output ran dry (a busy
  // machine may make it now and then: an overload, or the output's place in
  // the server's cycles moved) is taken again, up to three times.
  struct Window {
    std::vector<std::pair<int64_t, double>> errors;  // frames since the first, error
    double worst = 0.0;
    int tries = 0;
  };
  Window Compare(size_t first, int64_t frames) {
    Window w;
    for (w.tries = 1; w.tries <= 3; ++w.tries) {
      const uint32_t overloads = engine->OverloadCount();
      const int64_t place = engine->ClockSync().Link().ServerMinusRendered();
      const bool noted = PumpUntil([&] {
        const size_t n = other.Count();
        return n > first + 1 && other.At(n - 1).start - other.At(first).start >= frames;
      });
      EXPECT_TRUE(noted);
      w.errors.clear();
      w.worst = 0.0;
      for (size_t k = first; k < other.Count(); ++k) {
        const auto& c = other.At(k);
        double ours = 0.0;
        if (!c.rolling || !c.bbt || !HeardAt(c.start, ours)) continue;
        const double error = (ours - c.beats * TempoClock::kTicksPerBeat) *
                             TempoClock::SamplesPerClockForTempo(c.tempo);
        w.errors.emplace_back(c.start - other.At(first).start, error);
        w.worst = std::max(w.worst, std::abs(error));
      }
      const bool steady = engine->OverloadCount() == overloads &&
                          engine->ClockSync().Link().ServerMinusRendered() == place;
      if (steady || w.tries == 3) break;
      first = other.Count();
    }
    return w;
  }
  // The figures of a window: its worst error (a start catching up), when it
  // came within a block for good, and its worst from a quarter second on.
  static void Report(const std::string& what, const Window& w) {
    std::cout << "JACK transport " << what << ": worst " << F(w.worst)
              << " frames, within a block after " << SettledAfter(w)
              << " frames, from 0.25 s on within " << F(WorstFrom(w, kSecond / 4)) << " frames ("
              << w.errors.size() << " cycles, " << w.tries << " tries)\n";
  }
  // The frames after which the error stays within a block.
  static int64_t SettledAfter(const Window& w) {
    int64_t settled = 0;
    for (const auto& [at, error] : w.errors)
      if (std::abs(error) > 256.0) settled = at;
    return settled;
  }
  static double WorstFrom(const Window& w, int64_t from) {
    double worst = 0.0;
    for (const auto& [at, error] : w.errors)
      if (at >= from) worst = std::max(worst, std::abs(error));
    return worst;
  }

  StandardWaveDeviceLayer layer;
  TContraptionFactory factory;
  StreamUserMessages messages{nullptr};
  std::unique_ptr<TAudioEngineModule> engine;
  std::unique_ptr<MidiPorts> ports;
  // Another program on the transport: it notes every cycle and moves it.
  test::TransportTestClient other{"tonegarden-test-transport"};
};

TEST_F(JackTransportTest, TheClockFollowsTheTransportsStartStopLocateAndTempo) {
  ASSERT_TRUE(other.BecomeTimebaseMaster(120.0));
  engine->SetJackTransport(JackTransportMode::Follow);
  EXPECT_EQ(engine->GetClockSource(), ClockSource::JackTransport);
  StartAudio();
  EXPECT_FALSE(OurClock().IsRunning());

  // Started: our clock runs from the transport's start, a queue of buffers
  // late, and catches up.
  const size_t started = other.Count();
  other.Start();
  ASSERT_TRUE(PumpUntil([&] { return OurClock().IsRunning(); }));
  const Window start = Compare(started, kSecond);
  ASSERT_FALSE(start.errors.empty());
  EXPECT_TRUE(engine->FollowingMidiClock());
  EXPECT_EQ(engine->Tempo(), 120.0);
  EXPECT_EQ(engine->DocumentTempo(), 120.0);  // the followed tempo is no edit

  // A new tempo from the timebase, without a break in its beats.
  const size_t stepped = other.Count();
  other.SetTempo(96.0);
  ASSERT_TRUE(PumpUntil([&] { return engine->Tempo() == 96.0; }));
  const Window tempo = Compare(stepped, kSecond);
  EXPECT_EQ(engine->DocumentTempo(), 120.0);

  // Located while rolling, ten seconds on.
  const int64_t target = other.At(other.Count() - 1).frame + 10 * kSecond;
  other.Locate(static_cast<uint32_t>(target));
  ASSERT_TRUE(PumpUntil([&] {
    const auto& c = other.At(other.Count() - 1);
    return c.rolling && c.frame >= target;
  }));
  size_t located = other.Count() - 1;
  while (other.At(located - 1).frame >= target) --located;
  const Window relocated = Compare(located, kSecond);

  // Beyond the program's range: held at 240 and said; back within it, free.
  other.SetTempo(300.0);
  ASSERT_TRUE(PumpUntil([&] { return engine->Tempo() == 240.0; }));
  MidiClockSync::Notice notice;
  ASSERT_TRUE(PumpUntil([&] { return engine->ClockSync().TakeNotice(notice); }));
  EXPECT_EQ(notice.kind, MidiClockSync::Notice::Kind::TempoHeld);
  EXPECT_EQ(notice.tempo, 300.0);
  other.SetTempo(120.0);
  ASSERT_TRUE(PumpUntil([&] { return engine->Tempo() == 120.0; }));

  // Stopped: our clock stops where the transport stands.
  other.Stop();
  ASSERT_TRUE(PumpUntil([&] { return !OurClock().IsRunning(); }));
  const auto stoppedAt = [&] { return other.At(other.Count() - 1); };
  ASSERT_TRUE(PumpUntil([&] {
    return !stoppedAt().rolling &&
           std::abs(OurClock().Position() - stoppedAt().beats * TempoClock::kTicksPerBeat) < 1e-6;
  })) << OurClock().Position()
      << " " << stoppedAt().beats;
  // Located while stopped: our clock goes along.
  other.Locate(static_cast<uint32_t>(3 * kSecond));
  ASSERT_TRUE(PumpUntil([&] {
    return stoppedAt().frame == 3 * kSecond &&
           std::abs(OurClock().Position() - stoppedAt().beats * TempoClock::kTicksPerBeat) < 1e-6;
  })) << OurClock().Position()
      << " " << stoppedAt().beats;
  EXPECT_FALSE(OurClock().IsRunning());

  Report("followed: after the start", start);
  Report("after a tempo step from 120 to 96", tempo);
  Report("after a locate while rolling", relocated);
  for (const Window* w : {&start, &tempo, &relocated}) {
    EXPECT_LE(SettledAfter(*w), kSecond / 4);
    EXPECT_LE(WorstFrom(*w, kSecond / 4), 256.0);
  }
}

TEST_F(JackTransportTest, LeadingTheTransportGivesOurClockAsItsBarBeatAndTick) {
  engine->SetTempo(100.0);
  engine->SetJackTransport(JackTransportMode::Lead);
  EXPECT_EQ(engine->GetClockSource(), ClockSource::Internal);
  StartAudio();
  ASSERT_TRUE(engine->JackClient().IsTimebaseMaster());
  const double perClock = TempoClock::SamplesPerClockForTempo(100.0);

  // Our start starts the transport, and our clock runs with it.
  const size_t started = other.Count();
  engine->StartPauseClock();
  ASSERT_TRUE(PumpUntil([&] { return OurClock().IsRunning(); }));
  const Window lead = Compare(started, kSecond);
  ASSERT_FALSE(lead.errors.empty());
  // Its bar, beat and tick are ours: 100 beats a minute, four a bar.
  for (size_t k = started; k < other.Count(); ++k) {
    const auto& c = other.At(k);
    ASSERT_TRUE(c.bbt);
    EXPECT_EQ(c.tempo, 100.0);
    EXPECT_EQ(c.beatsPerBar, 4.0f);
    EXPECT_EQ(c.beatType, 4.0f);
    EXPECT_EQ(c.ticksPerBeat, 1920.0);
  }
  // They count its frames at our tempo from where it started.
  const auto& last = other.At(other.Count() - 1);
  size_t first = started;
  while (!other.At(first).rolling) ++first;
  EXPECT_NEAR(last.beats - other.At(first).beats,
              static_cast<double>(last.frame - other.At(first).frame) / perClock /
                  TempoClock::kTicksPerBeat,
              1.0 / 1920);

  // Paused: the transport stops, and our clock with it where it was heard.
  engine->StartPauseClock();
  ASSERT_TRUE(PumpUntil([&] { return !other.At(other.Count() - 1).rolling; }));
  ASSERT_TRUE(PumpUntil([&] { return !OurClock().IsRunning(); }));
  // Stopped: the transport goes back to its start, bar 1, beat 1.
  engine->StopClock();
  ASSERT_TRUE(PumpUntil([&] {
    const auto& c = other.At(other.Count() - 1);
    return c.frame == 0 && c.bbt && c.bar == 1 && c.beat == 1 && c.tick == 0 &&
           OurClock().Position() == 0.0;
  })) << other.At(other.Count() - 1).frame
      << " " << other.At(other.Count() - 1).bar << " " << other.At(other.Count() - 1).beat << " "
      << other.At(other.Count() - 1).tick << " " << OurClock().Position() << " rolling "
      << other.At(other.Count() - 1).rolling;
  // Located by another program: our clock counts the frame at our tempo.
  other.Locate(static_cast<uint32_t>(2 * kSecond));
  ASSERT_TRUE(
      PumpUntil([&] { return std::abs(OurClock().Position() - 2 * kSecond / perClock) < 1e-6; }));
  ASSERT_TRUE(PumpUntil([&] {
    const auto& c = other.At(other.Count() - 1);
    return c.frame == 2 * kSecond &&
           std::abs(c.beats * TempoClock::kTicksPerBeat - 2 * kSecond / perClock) < 0.02;
  }));

  // A MIDI clock leading our clock (here as if it had sent Start): the
  // transport starts and stops with our clock, and its bar, beat and tick
  // are our clock as heard.
  engine->SetClockSource(ClockSource::MidiClock);
  EXPECT_EQ(engine->GetJackTransport(), JackTransportMode::Lead);
  const size_t midiStarted = other.Count();
  OurClock().SetRunning(true);
  engine->StartStopTransportWithClock();
  const Window heard = Compare(midiStarted, kSecond / 2);
  ASSERT_FALSE(heard.errors.empty());
  OurClock().SetRunning(false);
  engine->StartStopTransportWithClock();
  ASSERT_TRUE(PumpUntil([&] { return !other.At(other.Count() - 1).rolling; }));

  Report("led at 100 bpm, our clock as heard against its bar, beat and tick", lead);
  Report("led from a MIDI clock, our clock as heard against its bar, beat and tick", heard);
  EXPECT_LE(SettledAfter(lead), kSecond / 4);
  EXPECT_LE(WorstFrom(lead, kSecond / 4), 256.0);
  // A tick of 1920 a beat is 13.8 frames at 100.
  EXPECT_LE(heard.worst, 14.0);
}

}  // namespace jack_transport_test
}  // namespace tg
