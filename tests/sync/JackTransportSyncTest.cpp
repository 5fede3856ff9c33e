// The clock and the JACK transport without a server: the transport's
// readings are left on the link as the program's JACK client leaves them.
#include <gtest/gtest.h>
#include <jack/types.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "engine/streams/DetachedOutStream.h"
#include "engine/sync/JackTransportClient.h"
#include "framework/TContraptionFactory.h"
#include "graph/TempoClock.h"

namespace tg {
namespace jack_transport_sync_test {

TEST(JackTransportSyncTest, RendersAndPrimedBuffersNeverFollowTheTransport) {
  TContraptionFactory factory;
  auto stream = std::make_unique<DetachedOutStream>(2, 1024);
  DetachedOutStream& out = *stream;
  TAudioEngineModule engine(factory, std::move(stream));
  engine.SetTempo(100.0);
  engine.SetJackTransport(JackTransportMode::Follow);
  // A transport rolling at bar 9 under a timebase at 200, heard as rendered.
  JackTransportLink& link = engine.JackSync().Link();
  link.SetAttached(true);
  JackTransportReading rolling;
  rolling.serverMinusRendered = 0;
  rolling.beats = 32.0;
  rolling.tempo = 200.0;
  rolling.rolling = 1;
  rolling.bbt = 1;
  link.Publish(rolling);
  const TempoClock& clock = engine.GetContext().Clock();
  const double perClock = TempoClock::SamplesPerClockForTempo(100.0);

  // A render plays the program's own clock.
  engine.StartPauseClock();  // no SoundOut: audio out stays stopped
  std::vector<int16_t> buffer(2 * 44100);
  engine.OutStreamFillBuffer(buffer.data(), 44100);
  EXPECT_FALSE(engine.FollowingMidiClock());
  EXPECT_EQ(engine.Tempo(), 100.0);
  EXPECT_NEAR(clock.Position(), 44032 / perClock, 1e-9);

  // Live through JACK: the buffers primed before the device plays are the
  // program's own too; the first fill after them follows.
  engine.StopClock();
  engine.StartPauseClock();
  engine.StartAudioOut();
  {
    EngineLockGuard lock(engine.GetEngineLock());
    engine.JackSync().Restart(2, true);
  }
  out.Fill(buffer.data(), 256);
  out.Fill(buffer.data(), 256);
  EXPECT_FALSE(engine.JackSync().Engaged());
  EXPECT_EQ(engine.Tempo(), 100.0);
  EXPECT_NEAR(clock.Position(), 512 / perClock, 1e-9);
  out.Fill(buffer.data(), 256);
  EXPECT_TRUE(engine.JackSync().Engaged());
  EXPECT_TRUE(engine.FollowingMidiClock());
  EXPECT_EQ(engine.Tempo(), 200.0);
  EXPECT_EQ(engine.DocumentTempo(), 100.0);
  // Far off, it jumped to where the transport is heard, and ran on.
  const double perClock200 = TempoClock::SamplesPerClockForTempo(200.0);
  EXPECT_NEAR(clock.Position(), 32 * 24 + 768 / perClock200, 1e-9);

  // Back to the program's own clock: its tempo again, from the next block.
  engine.SetJackTransport(JackTransportMode::Off);
  out.Fill(buffer.data(), 256);
  EXPECT_FALSE(engine.FollowingMidiClock());
  EXPECT_EQ(engine.Tempo(), 100.0);
  engine.StopAudioOut();
}

// A timebase's bar, beat and tick as the clock takes them: nonsense (an
// endless bar, a tick too fine to count) tells no position at all.
TEST(JackTransportSyncTest, OnlySensibleBarsBeatsAndTicksTellAPosition) {
  jack_position_t pos{};
  pos.valid = JackPositionBBT;
  pos.bar = 3;
  pos.beat = 2;
  pos.tick = 960;
  pos.beats_per_bar = 4.0f;
  pos.ticks_per_beat = 1920.0;
  pos.beats_per_minute = 120.0;
  double beats = 0.0;
  double tempo = 0.0;
  ASSERT_TRUE(JackTransportClient::BeatsOf(pos, beats, tempo));
  EXPECT_EQ(beats, 9.5);
  EXPECT_EQ(tempo, 120.0);
  const auto spoilt = [&](auto spoil) {
    jack_position_t bad = pos;
    spoil(bad);
    return !JackTransportClient::BeatsOf(bad, beats, tempo);
  };
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.beats_per_bar = INFINITY; }));
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.beats_per_bar = NAN; }));
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.beats_per_bar = 1e30f; }));
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.ticks_per_beat = 4.9e-324; }));
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.ticks_per_beat = INFINITY; }));
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.ticks_per_beat = NAN; }));
  EXPECT_TRUE(spoilt([](jack_position_t& p) { p.beats_per_minute = NAN; }));
}

TEST(JackTransportSyncTest, FollowAndTheClockSourceAreOneChoiceAndLeadIsAnother) {
  TContraptionFactory factory;
  TAudioEngineModule engine(factory);
  engine.SetClockSource(ClockSource::JackTransport);
  EXPECT_EQ(engine.GetJackTransport(), JackTransportMode::Follow);
  engine.SetJackTransport(JackTransportMode::Lead);
  EXPECT_EQ(engine.GetClockSource(), ClockSource::Internal);
  EXPECT_EQ(engine.GetJackTransport(), JackTransportMode::Lead);
  engine.SetClockSource(ClockSource::MidiClock);  // leading the transport from a MIDI clock
  EXPECT_EQ(engine.GetJackTransport(), JackTransportMode::Lead);
  engine.SetClockSource(ClockSource::JackTransport);
  EXPECT_EQ(engine.GetJackTransport(), JackTransportMode::Follow);
  engine.SetJackTransport(JackTransportMode::Off);
  EXPECT_EQ(engine.GetClockSource(), ClockSource::Internal);
  // Without JACK it is said why, and the clock commands stay the program's.
  EXPECT_EQ(engine.JackTransportProblem(), "JACK transport needs the output on JACK at 44100 Hz");
  engine.SetJackTransport(JackTransportMode::Lead);
  engine.StartPauseClock();
  EXPECT_TRUE(engine.GetContext().Clock().IsRunning());
}

}  // namespace jack_transport_sync_test
}  // namespace tg
