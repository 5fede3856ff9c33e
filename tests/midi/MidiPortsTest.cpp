// The MIDI ports and controller against a fake sequencer, as the ALSA side
// runs on machines that have one (these have no /dev/snd): ports that come
// and go, a port that refuses, messages from the system's own thread, and
// the sequencer's events as the program reads them.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/TAudioEngineModule.h"
#include "engine/midi/AlsaMidiSystem.h"
#include "engine/midi/MidiPorts.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "shell/midi/MidiController.h"
#include "shell/patch/PatchEditor.h"

namespace tg {
namespace midi_ports_test {

// The ports of a pretend sequencer and the program's joins to them; shared
// by every system MidiPorts makes of it.
struct Sequencer {
  std::mutex mutex;
  std::vector<std::string> sources{"Keys:out", "Locked:out"};
  std::vector<std::string> refusing{"Locked:out"};
  std::vector<std::string> joined;
  MidiEventSink* sink = nullptr;

  // From a thread of the sequencer's own, as ALSA's announcements come.
  void Plug(const std::string& port, bool in) {
    std::thread([&, port, in] {
      std::lock_guard lock(mutex);
      std::erase(sources, port);
      std::erase(joined, port);
      if (in) sources.push_back(port);
      sink->PortsChanged();
    }).join();
  }
};

class FakeSequencer final : public MidiSystem {
 public:
  explicit FakeSequencer(Sequencer& s) : s_(s) {}
  std::string SystemName() const override { return "fake sequencer"; }
  bool Open(MidiEventSink& sink, std::string&) override {
    s_.sink = &sink;
    return true;
  }
  void Close() override {}
  std::vector<std::string> Sources() override {
    std::lock_guard lock(s_.mutex);
    return s_.sources;
  }
  std::vector<std::string> Destinations() override { return {}; }
  std::string ConnectSource(const std::string& port) override {
    std::lock_guard lock(s_.mutex);
    if (std::find(s_.refusing.begin(), s_.refusing.end(), port) != s_.refusing.end())
      return "Operation not permitted";
    if (std::find(s_.sources.begin(), s_.sources.end(), port) == s_.sources.end())
      return "there is no such port";
    s_.joined.push_back(port);
    return {};
  }
  std::string DisconnectSource(const std::string& port) override {
    std::lock_guard lock(s_.mutex);
    std::erase(s_.joined, port);
    return {};
  }
  std::string ConnectDestination(const std::string&) override { return "no outputs"; }
  std::string DisconnectDestination(const std::string&) override { return {}; }
  bool IsSourceConnected(const std::string& port) override {
    std::lock_guard lock(s_.mutex);
    return std::find(s_.joined.begin(), s_.joined.end(), port) != s_.joined.end();
  }
  bool IsDestinationConnected(const std::string&) override { return false; }
  bool Send(const MidiEvent&) override { return false; }

 private:
  Sequencer& s_;
};

class NoSystem final : public MidiSystem {
 public:
  std::string SystemName() const override { return "JACK"; }
  bool Open(MidiEventSink&, std::string& why) override {
    why = "no JACK server runs";
    return false;
  }
  void Close() override {}
  std::vector<std::string> Sources() override { return {}; }
  std::vector<std::string> Destinations() override { return {}; }
  std::string ConnectSource(const std::string&) override { return "closed"; }
  std::string DisconnectSource(const std::string&) override { return {}; }
  std::string ConnectDestination(const std::string&) override { return "closed"; }
  std::string DisconnectDestination(const std::string&) override { return {}; }
  bool IsSourceConnected(const std::string&) override { return false; }
  bool IsDestinationConnected(const std::string&) override { return false; }
  bool Send(const MidiEvent&) override { return false; }
};

class MidiPortsTest : public ::testing::Test {
 protected:
  MidiPortsTest() { RegisterContraptionTypes(factory); }

  bool Said(const std::string& part) const {
    return std::any_of(said.begin(), said.end(),
                       [&](const std::string& s) { return s.find(part) != std::string::npos; });
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  PatchModel model;
  PatchEditor patch{engine, model};
  Sequencer sequencer;
  std::vector<std::string> said;
  MidiPorts ports{engine,
                  {[] { return std::make_unique<NoSystem>(); },
                   [this] { return std::make_unique<FakeSequencer>(sequencer); }}};
};

TEST_F(MidiPortsTest, PortsThatComeAndGoAreJoinedAgainAndTroubleIsSaid) {
  ports.SetMessageHandler([this](const std::string& text) { said.push_back(text); });
  ASSERT_TRUE(ports.Open());
  EXPECT_EQ(ports.Status(), "MIDI through fake sequencer");
  ports.SetWantedInputs({"Keys:out", "Pads:out", "Locked:out"});
  EXPECT_TRUE(ports.IsJoined("Keys:out"));
  EXPECT_TRUE(Said("\"Pads:out\" is not there"));
  EXPECT_TRUE(Said("\"Locked:out\" cannot be joined: Operation not permitted"));

  // Plugged in later, unplugged, plugged back: joined each time it is there.
  sequencer.Plug("Pads:out", true);
  ports.Poll();
  EXPECT_TRUE(ports.IsJoined("Pads:out"));
  sequencer.Plug("Pads:out", false);
  ports.Poll();
  EXPECT_FALSE(ports.IsJoined("Pads:out"));
  sequencer.Plug("Pads:out", true);
  ports.Poll();
  EXPECT_TRUE(ports.IsJoined("Pads:out"));
}

TEST_F(MidiPortsTest, MessagesFromTheSystemsThreadMoveAParameterAsOneEdit) {
  ASSERT_TRUE(ports.Open());
  MidiController midi(patch, ports);
  PatchNode* node = patch.NewContraption("Bassline", 10, 10);
  ASSERT_NE(node, nullptr);
  MidiBinding b;
  b.target = {MidiTargetSpec::Kind::Value, node->contraption->Name(), "CutoffFreq", 0};
  b.number = 74;
  midi.Bind(b);
  const size_t before = patch.History().Size();
  // With audio out stopped, the controller applies what came at its next poll.
  std::thread([&] {
    for (int v = 0; v <= 127; v += 8)
      sequencer.sink->Received(
          MidiEvent::Make(SteadyNanoseconds(), MidiEvent::kController, 0, 74, v));
  }).join();
  midi.Poll();
  QSProperty& cutoff =
      node->contraption->Processor().GetPropertyTable()->PropertyByName("CutoffFreq");
  EXPECT_EQ(cutoff.NumericValue(), 120 / 127.0);
  EXPECT_EQ(patch.History().Size(), before + 1);
  patch.Undo();
  EXPECT_EQ(cutoff.NumericValue(), 0.5);
}

TEST_F(MidiPortsTest, LearnTurnedOffWhileAControllersLowerHalfIsAwaitedBindsNothing) {
  ASSERT_TRUE(ports.Open());
  MidiController midi(patch, ports);
  PatchNode* node = patch.NewContraption("Bassline", 10, 10);
  ASSERT_NE(node, nullptr);
  const MidiTargetSpec cutoff{MidiTargetSpec::Kind::Value, node->contraption->Name(), "CutoffFreq",
                              0};
  const size_t before = patch.History().Size();
  midi.SetLearnMode(true);
  midi.Learn(cutoff);
  // An upper half (controllers 0 to 31) waits for its lower half ...
  const MidiController::Clock::time_point sent = MidiController::Clock::now();
  std::thread([&] {
    sequencer.sink->Received(
        MidiEvent::Make(SteadyNanoseconds(), MidiEvent::kController, 0, 7, 64));
  }).join();
  midi.Poll();
  // ... when learning is turned off; polled after the lower half's time.
  midi.SetLearnMode(false);
  while (MidiController::Clock::now() - sent <= MidiController::kPairWindow)
    std::this_thread::sleep_for(MidiController::kPairWindow / 4);
  midi.Poll();
  EXPECT_EQ(midi.BindingOf(cutoff), nullptr);
  EXPECT_TRUE(patch.Bindings().Empty());
  EXPECT_EQ(patch.History().Size(), before);
}

// The window's event loop runs between an export's chunks: a program change
// that came meanwhile is recalled once the export is over.
TEST_F(MidiPortsTest, AProgramChangeDuringAnExportWaitsUntilItIsOver) {
  ASSERT_TRUE(ports.Open());
  MidiController midi(patch, ports);
  PatchNode* node = patch.NewContraption("TestGen", 10, 10);
  ASSERT_NE(node, nullptr);
  QSProperty& amplitude =
      node->contraption->Processor().GetPropertyTable()->PropertyByName("Amplitude");
  amplitude.SetNumericValue(0.2);
  node->contraption->StorePreset(1);
  amplitude.SetNumericValue(0.5);
  MidiBinding b;
  b.source = MidiBinding::Source::Program;
  b.target = {MidiTargetSpec::Kind::Presets, node->contraption->Name(), "", 0};
  midi.Bind(b);
  engine.SetExporting(true);
  std::thread([&] {
    sequencer.sink->Received(MidiEvent::Make(SteadyNanoseconds(), MidiEvent::kProgram, 0, 1));
  }).join();
  midi.Poll();
  EXPECT_EQ(amplitude.NumericValue(), 0.5);
  engine.SetExporting(false);
  midi.Poll();
  EXPECT_EQ(amplitude.NumericValue(), 0.2);
}

TEST(AlsaEventTest, ControllerHalvesPitchBendClockAndAnnouncementsReadAsTheWireHasThem) {
  snd_seq_event_t e{};
  e.type = SND_SEQ_EVENT_CONTROL14;
  e.data.control.channel = 2;
  e.data.control.param = 1;
  e.data.control.value = 100 * 128 + 27;
  AlsaDecoded d = DecodeAlsaEvent(e, 5);
  ASSERT_EQ(d.count, 2);
  EXPECT_EQ(d.events[0].status, MidiEvent::kController | 2);
  EXPECT_EQ(d.events[0].data1, 1);
  EXPECT_EQ(d.events[0].data2, 100);
  EXPECT_EQ(d.events[1].data1, 33);
  EXPECT_EQ(d.events[1].data2, 27);
  EXPECT_EQ(d.events[1].time, 5);

  e.type = SND_SEQ_EVENT_PITCHBEND;
  e.data.control.value = -8192;
  d = DecodeAlsaEvent(e, 0);
  ASSERT_EQ(d.count, 1);
  EXPECT_EQ(d.events[0].data1 | (d.events[0].data2 << 7), 0);
  e.data.control.value = 8191;
  d = DecodeAlsaEvent(e, 0);
  EXPECT_EQ(d.events[0].data1 | (d.events[0].data2 << 7), 16383);

  // The clock's messages, which the clock follower reads.
  e.type = SND_SEQ_EVENT_SONGPOS;
  e.data.control.value = 200;
  d = DecodeAlsaEvent(e, 7);
  ASSERT_EQ(d.count, 1);
  EXPECT_EQ(d.events[0].status, MidiEvent::kSongPosition);
  EXPECT_EQ(d.events[0].SongPositionSixteenths(), 200);
  for (const auto& [type, status] : {std::pair{SND_SEQ_EVENT_CLOCK, MidiEvent::kClock},
                                     std::pair{SND_SEQ_EVENT_START, MidiEvent::kStart},
                                     std::pair{SND_SEQ_EVENT_CONTINUE, MidiEvent::kContinue},
                                     std::pair{SND_SEQ_EVENT_STOP, MidiEvent::kStop}}) {
    e.type = static_cast<snd_seq_event_type_t>(type);
    d = DecodeAlsaEvent(e, 7);
    ASSERT_EQ(d.count, 1);
    EXPECT_EQ(d.events[0].status, status);
    EXPECT_EQ(d.events[0].time, 7);
    EXPECT_EQ(d.events[0].frame, MidiEvent::kNoFrame);
  }

  e.type = SND_SEQ_EVENT_PORT_START;
  d = DecodeAlsaEvent(e, 0);
  EXPECT_EQ(d.count, 0);
  EXPECT_TRUE(d.portsChanged);
}

}  // namespace midi_ports_test
}  // namespace tg
