// MIDI played into the program through a real JACK server (the dummy
// driver): a client of the test's own sends controllers, notes and program
// changes at known frames to the program's input port and records what the
// program plays.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>

#include "contraptions/effects/ringam/TGRingAM.h"
#include "contraptions/generators/bassline/TGBassline.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/PortAudioWaveDevice.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/midi/JackMidiSystem.h"
#include "engine/midi/MidiPorts.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "graph/TempoClock.h"
#include "host/StreamUserMessages.h"
#include "properties/TextIO.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/midi/MidiController.h"
#include "shell/patch/PatchEditor.h"
#include "tests/midi/JackTestClient.h"
#include "tests/support/JackEngine.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace midi_jack_test {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);

MidiEvent Cc(int channel, int controller, int value) {
  return MidiEvent::Make(0, MidiEvent::kController, channel, controller, value);
}
MidiEvent NoteOn(int channel, int note, int velocity) {
  return MidiEvent::Make(0, MidiEvent::kNoteOn, channel, note, velocity);
}
MidiEvent Program(int channel, int program) {
  return MidiEvent::Make(0, MidiEvent::kProgram, channel, program);
}
MidiEvent Sync(uint8_t status) { return MidiEvent{0, status, 0, 0}; }

// The whole program without its window: the engine playing through JACK at
// 3 x 256 frames, the patch and its document, and MIDI through JACK.
class MidiJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // These run in CI on the dummy server the fixture starts: never skipped.
    ASSERT_TRUE(JackMidiSystem::ServerRuns()) << "no JACK server runs";
    PortAudioSystem::Instance().Rescan();
    RegisterContraptionTypes(factory);
    engine = test::EngineOnJack(factory, layer);
    ASSERT_NE(engine, nullptr);
    engine->Host().messages = &messages;
    patch = std::make_unique<PatchEditor>(*engine, model);
    document = std::make_unique<TGDocument>(*patch, queries);
    ports = test::JackMidiPorts(*engine);
    ASSERT_TRUE(ports->IsOpen());
    midi = std::make_unique<MidiController>(*patch, *ports);
    midi->SetMessageHandler([this](const std::string& text) { said.push_back(text); });
    ASSERT_TRUE(sender.IsOpen());
    ports->SetWantedInputs({sender.MidiOutName()});
    ASSERT_TRUE(PumpUntil([this] { return ports->IsJoined(sender.MidiOutName()); }));
  }
  void TearDown() override {
    if (engine != nullptr) engine->StopAudioOut();
    midi.reset();
    ports.reset();
    document.reset();
    patch.reset();
    engine.reset();
  }

  TGardeningContraption& Place(const char* type) {
    PatchNode* node = patch->NewContraption(type, 10, 10);
    EXPECT_NE(node, nullptr) << type;
    return *node->contraption;
  }
  void Start() {
    soundOut = patch->NewContraption("SoundOut", 200, 10);
    ASSERT_NE(soundOut, nullptr);
    playbackBefore = sender.PlaybackSources();
    engine->StartAudioOut();
  }
  // Runs the user-interface thread's MIDI work until the condition holds,
  // waking as the program's event loop does.
  template <typename Condition>
  bool PumpUntil(Condition done) {
    const auto until = Clock::now() + kPatience;
    while (Clock::now() < until) {
      midi->Poll();
      if (done()) return true;
      pollfd wake{ports->Wake().Fd(), POLLIN, 0};
      ::poll(&wake, 1, 5);
    }
    return false;
  }
  bool Sent(int id) {
    return PumpUntil([&] { return sender.SentAt(id) >= 0; });
  }
  // Our MIDI output joined to the listener's input, and the output's place
  // in the server's cycles known.
  void HearOurOutput() {
    ports->SetWantedOutput(listener.MidiInName());
    ASSERT_TRUE(PumpUntil([this] {
      return ports->IsJoined(listener.MidiInName()) &&
             engine->ClockSync().Link().ServerMinusRendered() != MidiClockLink::kUnknown;
    }));
  }
  // The frames of the clocks the listener heard from us after the Start (or
  // Continue) that is the `nth` transport message of that kind.
  std::vector<int64_t> ClocksHeardAfter(uint8_t status, int nth = 0) {
    std::vector<int64_t> frames;
    bool counting = false;
    for (size_t k = 0; k < listener.HeardCount(); ++k) {
      const auto m = listener.HeardAt(k);
      if (m.status == status && nth-- == 0) counting = true;
      if (counting && m.status == MidiEvent::kClock) frames.push_back(m.frame);
    }
    return frames;
  }
  std::vector<uint8_t> TransportHeard() {
    std::vector<uint8_t> t;
    for (size_t k = 0; k < listener.HeardCount(); ++k) {
      if (listener.HeardAt(k).status != MidiEvent::kClock) t.push_back(listener.HeardAt(k).status);
    }
    return t;
  }
  static double Value(TGardeningContraption& c, const char* parameter) {
    return c.Processor().GetPropertyTable()->PropertyByName(parameter).NumericValue().value_or(-1);
  }
  void BindController(TGardeningContraption& c, const char* parameter, int number,
                      MidiBinding::Source source = MidiBinding::Source::Controller7,
                      bool pickUp = false) {
    MidiBinding b;
    b.target = {MidiTargetSpec::Kind::Value, c.Name(), parameter, 0};
    b.source = source;
    b.channel = 0;
    b.number = number;
    b.pickUp = pickUp;
    midi->Bind(b);
  }

  struct HitSeries {
    bool clean = false;
    int tries = 0;
    int64_t shortest = 0, longest = 0;
    double mean = 0.0;
    std::vector<float> levels;
  };
  // Plays twelve hits of note 36 and finds where each was heard.
  HitSeries PlayHits() {
    static int tries = 0;
    HitSeries series;
    series.tries = ++tries;
    constexpr int kHits = 12;
    constexpr float kHeard = 0.05f;
    const uint32_t first = sender.FrameNow() + 8192;
    std::vector<int> ids;
    for (int k = 0; k < kHits; ++k) {
      const auto frame = first + static_cast<uint32_t>(k * 6000 + (k * 977) % 512);
      ids.push_back(sender.SendAt(frame, NoteOn(0, 36, k % 2 == 0 ? 127 : 64)));
    }
    const int last = ids.back();
    if (!PumpUntil([&] {
          return sender.SentAt(last) >= 0 &&
                 static_cast<int64_t>(sender.Recorded()) >
                     sender.SentAt(last) - sender.FirstRecordedFrame() + 8000;
        }))
      return series;
    std::vector<int64_t> delays;
    for (int id : ids) {
      const int64_t sent = sender.SentAt(id) - sender.FirstRecordedFrame();
      // The first sample heard after a moment of silence.
      size_t k = static_cast<size_t>(std::max<int64_t>(sent, 0));
      int quiet = 0;
      while (k < sender.Recorded() && (quiet < 64 || std::abs(sender.Sample(k)) < kHeard)) {
        quiet = std::abs(sender.Sample(k)) < kHeard ? quiet + 1 : 0;
        ++k;
      }
      if (k + 100 >= sender.Recorded()) return series;
      delays.push_back(static_cast<int64_t>(k) - sent);
      series.levels.push_back(std::abs(sender.Sample(k + 100)));
    }
    const auto [shortest, longest] = std::minmax_element(delays.begin(), delays.end());
    series.shortest = *shortest;
    series.longest = *longest;
    for (int64_t d : delays) series.mean += static_cast<double>(d) / kHits;
    series.clean = series.longest - series.shortest <= 256;
    return series;
  }

  StandardWaveDeviceLayer layer;
  TContraptionFactory factory;
  StreamUserMessages messages{nullptr};
  std::unique_ptr<TAudioEngineModule> engine;
  PatchModel model;
  std::unique_ptr<PatchEditor> patch;
  test::ScriptedQueries queries;
  std::unique_ptr<TGDocument> document;
  std::unique_ptr<MidiPorts> ports;
  std::unique_ptr<MidiController> midi;
  std::vector<std::string> said;
  PatchNode* soundOut = nullptr;
  std::vector<std::string> playbackBefore;
  test::JackTestClient sender{"tonegarden-test-sender"};
  // Hears what the program plays, apart from the sender: a client that
  // both played to the program and heard it would close a loop, which JACK
  // opens with a cycle's delay.
  test::JackTestClient listener{"tonegarden-test-listener"};
};

TEST_F(MidiJackTest, ControllersMoveParametersAlongTheirRangeAndScale) {
  TGardeningContraption& bass = Place("Bassline");
  TGardeningContraption& ring = Place("RingAM");
  TGardeningContraption& drums = Place("Drums");
  BindController(bass, "CutoffFreq", 74);
  BindController(ring, "Frequency", 75);                                      // hertz: logarithmic
  BindController(bass, "Resonance", 1, MidiBinding::Source::Controller14);    // CC 1 and 33
  BindController(bass, "Decay", 76, MidiBinding::Source::Controller7, true);  // with pick-up
  MidiBinding mute;
  mute.target = {MidiTargetSpec::Kind::Value, drums.Name(), "Mute", 0};
  mute.source = MidiBinding::Source::Note;
  mute.channel = 0;
  mute.number = 50;
  midi->Bind(mute);
  Start();

  sender.Send(Cc(0, 74, 127));
  sender.Send(Cc(0, 75, 64));
  sender.Send(Cc(0, 1, 100));
  sender.Send(Cc(0, 33, 27));
  sender.Send(NoteOn(0, 50, 100));
  ASSERT_TRUE(PumpUntil([&] { return Value(bass, "CutoffFreq") == 1.0; }));
  const double half = 20.0 * std::pow(1500.0 / 20.0, 64.0 / 127.0);
  ASSERT_TRUE(PumpUntil([&] { return std::abs(Value(ring, "Frequency") - half) < 1e-6; }))
      << Value(ring, "Frequency");
  ASSERT_TRUE(PumpUntil([&] {
    return std::abs(Value(bass, "Resonance") - (100 * 128 + 27) / 16383.0) < 1e-12;
  })) << Value(bass, "Resonance");
  ASSERT_TRUE(PumpUntil([&] { return Value(drums, "Mute") == 1.0; }));

  // Pick-up: Decay stands at 0.5; a controller far off leaves it, one that
  // crosses it takes it along.
  ASSERT_EQ(Value(bass, "Decay"), 0.5);
  const int far = sender.Send(Cc(0, 76, 10));
  ASSERT_TRUE(Sent(far));
  const int nearer = sender.Send(Cc(0, 76, 60));
  ASSERT_TRUE(Sent(nearer));
  // A message sent after them arrives after them: once it shows, they were played.
  sender.Send(Cc(0, 74, 0));
  ASSERT_TRUE(PumpUntil([&] { return Value(bass, "CutoffFreq") == 0.0; }));
  EXPECT_EQ(Value(bass, "Decay"), 0.5);
  sender.Send(Cc(0, 76, 70));
  ASSERT_TRUE(PumpUntil([&] { return Value(bass, "Decay") == 70 / 127.0; }));
}

TEST_F(MidiJackTest, AControllerSweepIsOneCommandThatUndoesAtOnce) {
  TGardeningContraption& bass = Place("Bassline");
  BindController(bass, "CutoffFreq", 74);
  Start();
  ASSERT_TRUE(PumpUntil([] { return true; }));
  const size_t before = patch->History().Size();
  // 32 steps a block apart, as a hand turns a knob.
  const uint32_t start = sender.FrameNow() + 2048;
  for (int k = 0; k < 32; ++k)
    sender.SendAt(start + 256 * static_cast<uint32_t>(k), Cc(0, 74, k * 4 + 3));
  ASSERT_TRUE(PumpUntil([&] { return Value(bass, "CutoffFreq") == 127 / 127.0; }));
  ASSERT_TRUE(PumpUntil([&] { return patch->History().Size() > before; }));
  EXPECT_EQ(patch->History().Size(), before + 1);
  EXPECT_EQ(patch->UndoName(), "Change 'CutoffFreq'");
  patch->Undo();
  EXPECT_EQ(Value(bass, "CutoffFreq"), 0.5);
  patch->Redo();
  EXPECT_EQ(Value(bass, "CutoffFreq"), 1.0);
}

TEST_F(MidiJackTest, ProgramChangesRecallPresetsAndScenes) {
  TGardeningContraption& bass = Place("Bassline");
  TGardeningContraption& ring = Place("RingAM");
  auto set = [](TGardeningContraption& c, const char* parameter, double v) {
    c.Processor().GetPropertyTable()->PropertyByName(parameter).SetNumericValue(v);
  };
  set(bass, "CutoffFreq", 0.2);
  bass.StorePreset(2);
  set(ring, "Frequency", 300.0);
  ring.StorePreset(2);
  set(bass, "CutoffFreq", 0.9);
  bass.StorePreset(4);
  set(ring, "Frequency", 900.0);
  ring.StorePreset(4);
  MidiBinding presets;  // the Bassline's own presets on channel 1
  presets.target = {MidiTargetSpec::Kind::Presets, bass.Name(), {}, 0};
  presets.source = MidiBinding::Source::Program;
  presets.channel = 0;
  midi->Bind(presets);
  MidiBinding scene;  // every contraption's on channel 2
  scene.target = {MidiTargetSpec::Kind::Scene, {}, {}, 0};
  scene.source = MidiBinding::Source::Program;
  scene.channel = 1;
  midi->Bind(scene);
  Start();

  sender.Send(Program(0, 2));
  ASSERT_TRUE(
      PumpUntil([&] { return Value(bass, "CutoffFreq") == 0.2 && bass.CurrentPreset() == 2; }));
  EXPECT_EQ(Value(ring, "Frequency"), 900.0);  // not bound to channel 1
  EXPECT_EQ(patch->UndoName(), "Recall Preset 3");
  std::cout << "program change to recall: "
            << textio::FormatDouble(static_cast<double>(midi->LastProgramDelay()) / 1e6) << " ms\n";

  sender.Send(Program(1, 2));
  ASSERT_TRUE(PumpUntil([&] { return Value(ring, "Frequency") == 300.0; }));
  EXPECT_EQ(patch->UndoName(), "Recall Scene 3");
  sender.Send(Program(1, 4));
  ASSERT_TRUE(PumpUntil([&] { return Value(ring, "Frequency") == 900.0; }));
  EXPECT_EQ(Value(bass, "CutoffFreq"), 0.9);
  patch->Undo();  // the scene, as one
  EXPECT_EQ(Value(ring, "Frequency"), 300.0);
  EXPECT_EQ(Value(bass, "CutoffFreq"), 0.2);
  // An empty slot recalls nothing.
  sender.Send(Program(1, 7));
  sender.Send(Program(0, 4));
  ASSERT_TRUE(PumpUntil([&] { return Value(bass, "CutoffFreq") == 0.9; }));
  EXPECT_EQ(Value(ring, "Frequency"), 300.0);
}

TEST_F(MidiJackTest, NotesTransposeTheBasslineAndPlayDrumsAtTheirSample) {
  test::TempDir dir;
  test::WriteLevel(dir / "hit.wav", 16000, 3000);
  TGardeningContraption& bass = Place("Bassline");
  PatchNode* drumsNode = patch->NewContraption("Drums", 10, 80);
  ASSERT_NE(drumsNode, nullptr);
  auto& drums = static_cast<TGDrums&>(drumsNode->contraption->Processor());
  drums.volume.SetValue(1.0);
  drums.SlotVolume(0).SetValue(1.0);
  drums.File(0).SetValue(dir / "hit.wav");
  midi->BindPads(drumsNode->contraption->Name());
  midi->BindTransposition(bass.Name());
  Start();
  ASSERT_NE(patch->Connect(*drumsNode, 0, *soundOut, 0), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !drums.SlotLoading(0); }));
  ASSERT_TRUE(PumpUntil([&] { return sender.ListenToPlayback(playbackBefore); }));
  sender.StartRecording();

  // Any note of any channel moves the pattern by its distance from 60, and
  // the transposition holds until the next note.
  auto& bassline = static_cast<TGBassline&>(bass.Processor());
  sender.Send(NoteOn(3, 63, 100));
  ASSERT_TRUE(PumpUntil([&] { return bassline.Transposition() == 3; }));
  sender.Send(MidiEvent::Make(0, MidiEvent::kNoteOff, 3, 63, 0));
  sender.Send(NoteOn(9, 55, 100));
  ASSERT_TRUE(PumpUntil([&] { return bassline.Transposition() == -5; }));

  // Hits of slot 1 (note 36) at frames of every kind of offset into JACK's
  // cycles and the program's blocks, loud and half as loud. A machine busy
  // with other work may let the sound card run dry now and then, which
  // moves everything after it: only a disturbed series in each of three
  // tries is a fault.
  HitSeries series;
  for (int attempt = 0; attempt < 3 && !series.clean; ++attempt) series = PlayHits();
  const auto frames = [](double f) { return textio::FormatDouble(f); };
  std::cout << "event-to-sound delay at " << test::kJackBuffers << " x "
            << test::kJackBufferBytes / 4 << " frames (JACK period " << sender.Period()
            << "): mean " << frames(series.mean) << " frames (" << frames(series.mean / 44.1)
            << " ms), " << series.shortest << " ... " << series.longest << "; fixed latency "
            << engine->Midi().Timeline().LatencyFrames() << " frames; " << series.tries
            << " tries\n";
  // Each hit at its own sample: every one at the same distance from its
  // message, within one block.
  EXPECT_TRUE(series.clean);
  EXPECT_LE(series.longest - series.shortest, 256);
  EXPECT_GT(series.shortest, 0);
  // Velocity scales the slot's level.
  for (size_t k = 1; k < series.levels.size(); k += 2)
    EXPECT_NEAR(series.levels[k] / series.levels[0], 64.0 / 127.0, 0.02) << k;
}

TEST_F(MidiJackTest, BindingsSurviveTheDocumentARenameAndAnUndoneDeletion) {
  TGardeningContraption& bass = Place("Bassline");
  Place("Drums");
  BindController(bass, "CutoffFreq", 74, MidiBinding::Source::Controller7, true);
  midi->BindPads("Drums_1");
  std::ostringstream saved;
  document->WriteTo(saved);
  EXPECT_NE(saved.str().find("midi:\r\n\tvalue\tBassline_1\tCutoffFreq\t0\tcc\t1\t74\tpickup\r\n"),
            std::string::npos)
      << saved.str();

  // Read back into an empty patch: the same bindings, and the same text.
  const MidiBindingList bindings = patch->Bindings();
  document->New();
  EXPECT_TRUE(patch->Bindings().Empty());
  std::istringstream in(saved.str());
  ASSERT_TRUE(document->ReadFrom(in));
  EXPECT_EQ(patch->Bindings(), bindings);
  std::ostringstream again;
  document->WriteTo(again);
  EXPECT_EQ(again.str(), saved.str());

  // A rename takes the binding along, and it still plays.
  PatchNode* node = patch->FindNode("Bassline_1");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(patch->Rename(*node, "Acid"), "");
  EXPECT_EQ(patch->Bindings().All().front().target.contraption, "Acid");
  Start();
  TGardeningContraption& acid = *node->contraption;
  sender.Send(Cc(0, 74, 64));  // meets 0.5 at once: picked up
  sender.Send(Cc(0, 74, 30));
  ASSERT_TRUE(PumpUntil([&] { return Value(acid, "CutoffFreq") == 30 / 127.0; }));

  // Deleted, its binding goes; undone, it comes back and plays again.
  const size_t before = patch->Bindings().Size();
  patch->Delete(*patch->FindNode("Acid"));
  EXPECT_EQ(patch->Bindings().Size(), before - 1);
  patch->Undo();
  ASSERT_NE(patch->FindNode("Acid"), nullptr);
  EXPECT_EQ(patch->Bindings(), [&] {
    MidiBindingList renamed = bindings;
    renamed.Rename("Bassline_1", "Acid");
    return renamed;
  }());
  TGardeningContraption& back = *patch->FindNode("Acid")->contraption;
  sender.Send(Cc(0, 74, 29));  // within reach of 30: picked up again
  sender.Send(Cc(0, 74, 100));
  ASSERT_TRUE(PumpUntil([&] { return Value(back, "CutoffFreq") == 100 / 127.0; }));
  // Undoing the rename renames the binding back.
  while (patch->CanUndo() && patch->UndoName().rfind("Rename", 0) != 0) patch->Undo();
  ASSERT_EQ(patch->UndoName(), "Rename Bassline_1 to Acid");
  patch->Undo();
  EXPECT_EQ(patch->Bindings(), bindings);
}

TEST_F(MidiJackTest, TheClockFollowsAMidiClockInTempoPhaseAndTransport) {
  engine->SetClockSource(ClockSource::MidiClock);
  Start();
  HearOurOutput();
  const double perClock120 = TempoClock::SamplesPerClockForTempo(120.0);
  const double perClock132 = TempoClock::SamplesPerClockForTempo(132.0);
  // Two bars and a beat at 120, then a bar at 132. The output running dry
  // (a busy machine may make it now and then) moves our sound, and our
  // clock with it, away from the sender's: such a try, or one whose clock
  // strayed by more than a tick (a cycle missed on a busy machine, as
  // below), is made again, up to three times.
  double steadyWorst = 0.0;
  int steadyReadings = 0;
  double highest = 0.0;
  int64_t settled = 0;
  double phaseWorst = 0.0;
  std::vector<int> ids;
  const auto sentAt = [&](int k) { return sender.SentAt(ids[static_cast<size_t>(k)]); };
  int tries = 0;
  for (; tries < 3; ++tries) {
    // The try before ends with its clock lost.
    ASSERT_TRUE(PumpUntil([&] { return !engine->GetContext().Clock().IsRunning(); }));
    engine->ClearOverloadCount();
    const uint32_t first = sender.FrameNow() + 8192;
    sender.SendAt(first - 1, Sync(MidiEvent::kStart));
    ids.clear();
    double at = first;
    for (int k = 0; k < 216 + 96; ++k) {
      ids.push_back(
          sender.SendAt(static_cast<uint32_t>(std::llround(at)), Sync(MidiEvent::kClock)));
      at += k < 216 ? perClock120 : perClock132;
    }
    // The tempo shown, against the sender's frame, until a beat after the last clock.
    std::vector<std::pair<int64_t, double>> tempi;
    ASSERT_TRUE(PumpUntil([&] {
      tempi.emplace_back(sender.FrameNow(), engine->Tempo());
      return sender.SentAt(ids.back()) >= 0 &&
             static_cast<int32_t>(sender.FrameNow() -
                                  static_cast<uint32_t>(sender.SentAt(ids.back()))) > 24 * 919;
    }));
    EXPECT_TRUE(engine->FollowingMidiClock());
    // Steady: every reading from two bars on until the step.
    steadyWorst = 0.0;
    steadyReadings = 0;
    for (const auto& [frame, tempo] : tempi) {
      if (frame >= sentAt(191) && frame < sentAt(216) - 512) {
        steadyWorst = std::max(steadyWorst, std::abs(tempo - 120.0));
        ++steadyReadings;
      }
    }
    // The step: the highest reading after it, and when it last strayed from 132.
    highest = 0.0;
    settled = 0;
    for (const auto& [frame, tempo] : tempi) {
      if (frame < sentAt(216)) continue;
      highest = std::max(highest, tempo);
      if (std::abs(tempo - 132.0) > 0.1) settled = frame - sentAt(216);
    }
    // Phase: our clock k, as the listener heard it, against the sender's clock k.
    const std::vector<int64_t> ours = ClocksHeardAfter(MidiEvent::kStart, tries);
    ASSERT_GE(ours.size(), 312u);
    phaseWorst = 0.0;
    for (int k = 191; k < 312; ++k) {
      const double perClock = k < 216 ? perClock120 : perClock132;
      phaseWorst = std::max(
          phaseWorst,
          std::abs(static_cast<double>(ours[static_cast<size_t>(k)] - sentAt(k)) / perClock));
    }
    if (engine->OverloadCount() == 0 && phaseWorst <= 1.0) break;
  }
  const auto f = [](double v) { return textio::FormatDouble(v); };
  std::cout << "MIDI clock in through JACK: tempo within " << f(steadyWorst)
            << " bpm of 120 from 2 bars (" << steadyReadings
            << " readings); step to 132 within 0.1 bpm after " << settled << " frames ("
            << f(static_cast<double>(settled) / (96 * perClock132)) << " bar), highest "
            << f(highest) << " bpm; our clock out within " << f(phaseWorst)
            << " ticks of the clocks received from clock 191 on; " << std::min(tries + 1, 3)
            << " tries\n";
  EXPECT_GT(steadyReadings, 0);
  EXPECT_LE(steadyWorst, 0.1);
  EXPECT_LE(static_cast<double>(settled), 96 * perClock132);
  EXPECT_LE(highest, 133.0);
  EXPECT_LE(phaseWorst, 1.0);

  // Stop pauses; a song position of 8 sixteenths and Continue play on from tick 48.
  const uint32_t later = static_cast<uint32_t>(sentAt(311)) + 2000;
  sender.SendAt(later, Sync(MidiEvent::kStop));
  ASSERT_TRUE(PumpUntil([&] { return !engine->GetContext().Clock().IsRunning(); }));
  const int spp = sender.SendAt(later + 100, MidiEvent::SongPosition(0, 8));
  ASSERT_TRUE(Sent(spp));
  ASSERT_TRUE(PumpUntil([&] { return engine->GetContext().Clock().Position() == 48.0; }));
  sender.SendAt(later + 200, Sync(MidiEvent::kContinue));
  int last = -1;
  for (int k = 0; k < 24; ++k)
    last = sender.SendAt(later + 1000 + static_cast<uint32_t>(std::llround(k * perClock120)),
                         Sync(MidiEvent::kClock));
  ASSERT_TRUE(Sent(last));
  ASSERT_TRUE(PumpUntil([&] { return engine->GetContext().Clock().Position() > 48.0 + 23.0; }));
  const std::vector<int64_t> resumed = ClocksHeardAfter(MidiEvent::kContinue);
  ASSERT_TRUE(PumpUntil([&] { return ClocksHeardAfter(MidiEvent::kContinue).size() >= 20; }));
  // Each try given up on started, and stopped when its clock was lost.
  std::vector<uint8_t> transport;
  for (int k = 0; k < tries; ++k)
    transport.insert(transport.end(), {MidiEvent::kStart, MidiEvent::kStop});
  transport.insert(transport.end(), {MidiEvent::kStart, MidiEvent::kStop, MidiEvent::kSongPosition,
                                     MidiEvent::kContinue});
  EXPECT_EQ(TransportHeard(), transport);

  // Silent for half a second, the clock pauses and says so.
  ASSERT_TRUE(PumpUntil([&] { return !engine->GetContext().Clock().IsRunning(); }));
  const int64_t silent =
      static_cast<int32_t>(sender.FrameNow() - static_cast<uint32_t>(sender.SentAt(last)));
  std::cout << "clock lost after " << silent << " frames without a clock\n";
  EXPECT_GE(silent, MidiClockFollower::kLostFrames - 512);
  ASSERT_TRUE(PumpUntil([&] {
    return std::find(said.begin(), said.end(), "MIDI clock lost: the clock is paused") !=
           said.end();
  }));
}

TEST_F(MidiJackTest, TheClockGoesOutWhereItsSoundLeavesTheOutput) {
  test::TempDir dir;
  test::WriteLevel(dir / "beat.wav", 16000, 3000);
  PatchNode* drumsNode = patch->NewContraption("Drums", 10, 80);
  ASSERT_NE(drumsNode, nullptr);
  auto& drums = static_cast<TGDrums&>(drumsNode->contraption->Processor());
  drums.volume.SetValue(1.0);
  drums.SlotVolume(0).SetValue(1.0);
  drums.File(0).SetValue(dir / "beat.wav");
  drums.Gates(0).SetValue(0x11111111);  // every beat of the two bars
  Start();
  ASSERT_NE(patch->Connect(*drumsNode, 0, *soundOut, 0), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !drums.SlotLoading(0); }));
  HearOurOutput();
  ASSERT_TRUE(PumpUntil([&] { return listener.ListenToPlayback(playbackBefore); }));
  listener.StartRecording();
  // Eight beats from a Start, counted only when the output never ran dry
  // meanwhile and no clock missed its server cycle (a busy machine may make
  // either happen now and then): up to three tries.
  constexpr int kBeats = 8;
  const double perClock = TempoClock::SamplesPerClockForTempo(120.0);
  // Every clock against the grid of our clock (its first and 24 per beat).
  const auto offGrid = [&](const std::vector<int64_t>& heard) {
    double worst = 0.0;
    for (size_t k = 0; k <= 24 * kBeats; ++k)
      worst = std::max(worst, std::abs(static_cast<double>(heard[k] - heard[0]) -
                                       static_cast<double>(k) * perClock));
    return worst;
  };
  std::vector<int64_t> clocks;
  std::vector<int64_t> beats;
  std::vector<double> offGridTries;
  int tries = 0;
  for (; tries < 3 && beats.size() < kBeats; ++tries) {
    engine->StopClock();
    engine->ClearOverloadCount();
    engine->StartPauseClock();
    ASSERT_TRUE(PumpUntil(
        [&] { return ClocksHeardAfter(MidiEvent::kStart, tries).size() > 24 * kBeats + 24; }));
    engine->StartPauseClock();
    if (engine->OverloadCount() != 0) continue;
    clocks = ClocksHeardAfter(MidiEvent::kStart, tries);
    offGridTries.push_back(offGrid(clocks));
    if (offGridTries.back() > 44.0) continue;
    // Each beat's sound, by its first loud sample after a silence, from the Start on.
    beats.clear();
    int quiet = 0;
    const auto from =
        static_cast<size_t>(std::max<int64_t>(clocks[0] - 64 - listener.FirstRecordedFrame(), 0));
    for (size_t k = from; k < listener.Recorded() && beats.size() < kBeats; ++k) {
      const bool loud = std::abs(listener.Sample(k)) >= 0.05f;
      if (loud && quiet >= 64)
        beats.push_back(listener.FirstRecordedFrame() + static_cast<int64_t>(k));
      quiet = loud ? 0 : quiet + 1;
    }
  }
  std::string offGridText;
  for (const double worst : offGridTries) {
    offGridText += ' ';
    offGridText += textio::FormatDouble(worst);
  }
  ASSERT_EQ(beats.size(), static_cast<size_t>(kBeats))
      << tries << " tries; the worst clock off the grid in each:" << offGridText;
  int64_t lowest = INT64_MAX;
  int64_t highest = INT64_MIN;
  for (int b = 0; b < kBeats; ++b) {
    const int64_t d = clocks[static_cast<size_t>(24 * b)] - beats[static_cast<size_t>(b)];
    lowest = std::min(lowest, d);
    highest = std::max(highest, d);
  }
  const double gridWorst = offGrid(clocks);
  std::cout << "MIDI clock out against the sound of each beat: " << lowest << " ... " << highest
            << " frames (jitter " << highest - lowest << "); every clock within "
            << textio::FormatDouble(gridWorst) << " frames of the clock's grid; " << tries
            << " tries\n";
  EXPECT_LE(highest - lowest, 44);
  EXPECT_LE(std::abs(lowest), 44);  // and where the sound leaves
  EXPECT_LE(gridWorst, 44.0);
  EXPECT_EQ(TransportHeard().front(), MidiEvent::kStart);
}

}  // namespace midi_jack_test
}  // namespace tg
