// Our engine and a Link peer of the test's own (LinkTestPeer.cpp) in one
// session, inside the private network this test program made for itself
// (PrivateNetworkMain.cpp). The engine plays on the silent device in real
// time and marks every live block: when it leaves the output, on Link's
// clock, and the clock's beat there. The peer writes where the session
// stands every 2 ms. So every figure is taken in Link's own clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dsp/BlockConstants.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/sync/LinkClockSync.h"
#include "framework/TContraptionFactory.h"
#include "graph/TempoClock.h"
#include "host/MemorySettingsStore.h"
#include "properties/TextIO.h"
#include "tests/support/ManualWaveDevice.h"

namespace tg {
namespace link_session_test {

using test::WaitUntil;
using Mark = LinkClockSync::BlockMark;

constexpr double kQuantum = 4.0;
constexpr double kMostPhaseError = 0.002;    // beats
constexpr int64_t kMostTempoDelay = 200000;  // microseconds
constexpr double kBlockMicros = kBlockSize * 1e6 / kSampleRate;

// Where the session stood, as the peer saw it.
struct Sample {
  int64_t at = 0;
  double beat = 0.0;
  double tempo = 0.0;
  bool playing = false;
  int peers = 0;
};

// Link carries a tempo as microseconds a beat.
bool SameTempo(double a, double b) { return std::abs(a - b) < 1e-3; }

// Our beat against the session's, in beats, modulo the quantum.
double PhaseError(double ours, double session) {
  const double d = ours - session;
  return d - kQuantum * std::round(d / kQuantum);
}

// The peer program, told through its input and read from its output.
class LinkPeer {
 public:
  explicit LinkPeer(std::vector<std::string> args) {
    args.insert(args.begin(), TONEGARDEN_LINK_TEST_PEER);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int toPeer[2] = {-1, -1};
    int fromPeer[2] = {-1, -1};
    if (pipe2(toPeer, O_CLOEXEC) != 0 || pipe2(fromPeer, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toPeer[0], STDIN_FILENO);
      dup2(fromPeer[1], STDOUT_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(toPeer[0]);
    close(fromPeer[1]);
    in_ = toPeer[1];
    out_ = fromPeer[0];
    reader_ = std::thread([this] { ReadLines(); });
  }
  ~LinkPeer() {
    Send("quit");
    close(in_);
    if (reader_.joinable()) reader_.join();
    close(out_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  LinkPeer(const LinkPeer&) = delete;
  LinkPeer& operator=(const LinkPeer&) = delete;

  void Send(const std::string& command) {
    const std::string line = command + "\n";
    if (write(in_, line.data(), line.size()) < 0) ADD_FAILURE() << "the peer is gone";
  }
  std::optional<Sample> Latest() {
    std::lock_guard lock(mutex_);
    if (samples_.empty()) return std::nullopt;
    return samples_.back();
  }
  template <typename Condition>
  bool WaitFor(Condition condition) {
    return WaitUntil([&] {
      const std::optional<Sample> s = Latest();
      return s && condition(*s);
    });
  }
  // When the peer committed a command, on Link's clock.
  std::optional<int64_t> Did(const std::string& command) {
    std::optional<int64_t> at;
    WaitUntil([&] {
      std::lock_guard lock(mutex_);
      const auto found = did_.find(command);
      if (found != did_.end()) at = found->second;
      return at.has_value();
    });
    return at;
  }
  // The session's beat at a time the peer has seen both sides of, at one
  // tempo (the timeline is a straight line between its samples).
  std::optional<double> BeatAt(int64_t at) {
    WaitFor([at](const Sample& s) { return s.at > at; });
    std::lock_guard lock(mutex_);
    const auto after = std::lower_bound(samples_.begin(), samples_.end(), at,
                                        [](const Sample& s, int64_t t) { return s.at < t; });
    if (after == samples_.begin() || after == samples_.end()) return std::nullopt;
    const Sample& before = *(after - 1);
    if (before.tempo != after->tempo) return std::nullopt;
    return before.beat + (after->beat - before.beat) * static_cast<double>(at - before.at) /
                             static_cast<double>(after->at - before.at);
  }

 private:
  static double Number(std::string_view text) {
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
  }
  void Parse(const std::string& line) {
    std::vector<std::string_view> words;
    std::string_view rest(line);
    while (!rest.empty()) {
      const size_t space = rest.find(' ');
      words.push_back(rest.substr(0, space));
      rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    }
    std::lock_guard lock(mutex_);
    if (words.size() == 10 && words[0] == "at") {
      samples_.push_back({static_cast<int64_t>(Number(words[1])), Number(words[3]),
                          Number(words[5]), words[7] == "1", static_cast<int>(Number(words[9]))});
    } else if (words.size() >= 4 && words[0] == "did") {
      const size_t at = line.rfind(" at ");
      did_[line.substr(4, at - 4)] = static_cast<int64_t>(Number(words.back()));
    }
  }
  void ReadLines() {
    std::string pending;
    char chunk[4096];
    for (;;) {
      const ssize_t got = read(out_, chunk, sizeof chunk);
      if (got <= 0) return;
      pending.append(chunk, static_cast<size_t>(got));
      for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        Parse(pending.substr(0, end));
        pending.erase(0, end + 1);
      }
    }
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<Sample> samples_;
  std::map<std::string, int64_t> did_;
};

// The engine on the silent device, which keeps real time: three buffers of
// 512 frames, so a block leaves the output 1024 frames after its fill.
class LinkSessionTest : public ::testing::Test {
 protected:
  LinkSessionTest() {
    std::signal(SIGPIPE, SIG_IGN);  // a peer that died fails the test, not the program
    settings.WriteInt("0.7/OutStream", "BufferCount", 3);
    settings.WriteInt("0.7/OutStream", "BufferSize", 2048);
    engine =
        std::make_unique<TAudioEngineModule>(factory, std::make_unique<KWWaveOutStream>(layer),
                                             std::make_unique<KWWaveInStream>(layer), &settings);
    engine->LinkSync().SetMarking(true);
  }
  ~LinkSessionTest() override { engine->StopAudioOut(); }

  // Joins the session and waits until the peer and we see each other.
  void Join(LinkPeer& peer, bool startStopSync) {
    engine->SetLinkStartStopSync(startStopSync);
    engine->SetClockSource(ClockSource::Link);
    ASSERT_TRUE(engine->LinkLeads());
    ASSERT_TRUE(WaitUntil([&] { return engine->LinkPeers() == 1; }));
    ASSERT_TRUE(peer.WaitFor([](const Sample& s) { return s.peers == 1; }));
  }
  void TakeMarks() {
    Mark m;
    while (engine->LinkSync().TakeMark(m)) marks.push_back(m);
  }
  // The first mark from `from` on that meets the condition.
  template <typename Condition>
  std::optional<size_t> WaitForMark(size_t from, Condition condition) {
    std::optional<size_t> found;
    WaitUntil([&] {
      TakeMarks();
      for (size_t i = from; i < marks.size() && !found; ++i) {
        if (condition(marks[i])) found = i;
      }
      return found.has_value();
    });
    return found;
  }
  // The largest phase error of the running marks in [from, to). A loaded
  // machine may let the output run dry: its sound then comes later than
  // planned, the blocks' times jump, and the clock takes the session's phase
  // again; the blocks of the next 100 ms are left out (and counted).
  double MostPhaseError(LinkPeer& peer, size_t from, size_t to) {
    double most = 0.0;
    int64_t realigning = INT64_MIN;
    for (size_t i = from; i < to; ++i) {
      if (i > 0 && std::abs(static_cast<double>(marks[i].outputMicros - marks[i - 1].outputMicros) -
                            kBlockMicros) > 1000.0)
        realigning = marks[i].outputMicros + 100000;
      if (!marks[i].running) continue;
      if (marks[i].outputMicros < realigning) {
        ++leftOut;
        continue;
      }
      const std::optional<double> session = peer.BeatAt(marks[i].outputMicros);
      if (!session) continue;  // a tempo change between two samples
      most = std::max(most, std::abs(PhaseError(marks[i].beat, *session)));
      ownView = std::max(ownView, std::abs(PhaseError(marks[i].beat, marks[i].sessionBeat)));
      views = std::max(views, std::abs(PhaseError(marks[i].sessionBeat, *session)));
    }
    return most;
  }
  // Where the session's bar stood when a mark left the output: 0 on the bar,
  // negative just before it.
  double SessionPhase(LinkPeer& peer, const Mark& mark) {
    const std::optional<double> session = peer.BeatAt(mark.outputMicros);
    EXPECT_TRUE(session.has_value());
    return session ? *session - kQuantum * std::round(*session / kQuantum) : -1.0;
  }
  static double BlockBeats(double tempo) { return kBlockSize / kSampleRate * tempo / 60.0; }

  SilentWaveDeviceLayer layer;
  MemorySettingsStore settings;
  TContraptionFactory factory;
  std::unique_ptr<TAudioEngineModule> engine;
  std::vector<Mark> marks;
  int leftOut = 0;       // blocks made while the output had run dry
  double ownView = 0.0;  // the largest error against the session as the engine sees it
  double views = 0.0;    // the largest difference between the engine's view and the peer's
};

TEST_F(LinkSessionTest, TempoTravelsBothWaysAndOurBarsLieOnTheSessions) {
  LinkPeer peer({"--tempo", "120"});
  engine->SetTempo(120.0);
  Join(peer, false);
  engine->StartAudioOut();

  // The tempo box's tempo becomes the session's.
  engine->SetTempo(150.0);
  engine->LeadLinkTempo(150.0);
  ASSERT_TRUE(peer.WaitFor([](const Sample& s) { return SameTempo(s.tempo, 150.0); }));
  ASSERT_TRUE(WaitUntil([&] { return SameTempo(engine->Tempo(), 150.0); }));

  // Started while a peer is there, the clock waits for the session's next bar.
  engine->StartPauseClock();
  EXPECT_TRUE(engine->ClockStarted());
  const std::optional<size_t> start = WaitForMark(0, [](const Mark& m) { return m.running; });
  ASSERT_TRUE(start);
  EXPECT_EQ(marks[*start].beat, 0.0);
  // (The block's time on the way out is known to within the phase error.)
  const double startPhase = SessionPhase(peer, marks[*start]);
  EXPECT_GE(startPhase, -kMostPhaseError);
  EXPECT_LT(startPhase, BlockBeats(150.0) + kMostPhaseError);

  // Two bars at the session's tempo: after the first, every block lies on
  // the session's phase.
  const std::optional<size_t> bar = WaitForMark(*start, [](const Mark& m) { return m.beat >= 4; });
  const std::optional<size_t> bars = WaitForMark(*start, [](const Mark& m) { return m.beat >= 8; });
  ASSERT_TRUE(bar && bars);
  const double steady = MostPhaseError(peer, *bar, *bars);
  EXPECT_LE(steady, kMostPhaseError);

  // A peer's tempo is the engine's within 200 ms, never the document's.
  peer.Send("tempo 180");
  const std::optional<int64_t> changed = peer.Did("tempo 180");
  ASSERT_TRUE(changed);
  const size_t before = marks.size();
  const std::optional<size_t> taken =
      WaitForMark(before, [](const Mark& m) { return SameTempo(m.tempo, 180.0); });
  ASSERT_TRUE(taken);
  const int64_t delay = marks[*taken].fillMicros - *changed;
  EXPECT_LE(delay, kMostTempoDelay);
  EXPECT_TRUE(SameTempo(engine->Tempo(), 180.0));
  EXPECT_EQ(engine->DocumentTempo(), 150.0);

  // Blocks already on their way when the change came play the old tempo;
  // the clock then closes the gap within a few blocks, and stays on phase.
  const int64_t settledBy = marks[*taken].fillMicros + 100000;
  const double beatThen = marks[*taken].beat;
  const std::optional<size_t> later =
      WaitForMark(*taken, [&](const Mark& m) { return m.beat >= beatThen + 4; });
  ASSERT_TRUE(later);
  double transient = 0.0;
  int64_t lastOff = *changed;
  size_t settled = *taken;
  for (size_t i = before; i < *later; ++i) {
    const std::optional<double> session = peer.BeatAt(marks[i].outputMicros);
    if (!session) continue;
    const double e = std::abs(PhaseError(marks[i].beat, *session));
    transient = std::max(transient, e);
    if (e > kMostPhaseError) lastOff = marks[i].outputMicros;
    if (marks[i].outputMicros < settledBy) settled = i + 1;
  }
  EXPECT_LE(MostPhaseError(peer, settled, *later), kMostPhaseError);

  // A tempo beyond the program's range is held to it, and said.
  peer.Send("tempo 300");
  ASSERT_TRUE(WaitUntil([&] { return engine->Tempo() == 240.0; }));
  MidiClockSync::Notice notice;
  ASSERT_TRUE(engine->ClockSync().TakeNotice(notice));
  EXPECT_EQ(MidiClockSync::NoticeText(notice),
            "The Link session's tempo 300.0 is outside 1 to 240: the clock plays 240");

  std::cout << "tempo 150 to the peer; started "
            << textio::FormatDouble(startPhase / BlockBeats(150.0))
            << " of a block after the session's bar; phase error over the second bar at 150: "
            << textio::FormatDouble(steady) << " beats\n"
            << "the peer's 180 taken " << textio::FormatDouble(static_cast<double>(delay) / 1000.0)
            << " ms after its change (Link's clock); blocks on their way then were off by up to "
            << textio::FormatDouble(transient) << " beats, on phase again "
            << textio::FormatDouble(static_cast<double>(lastOff - *changed) / 1000.0)
            << " ms after the change; phase error after it: "
            << textio::FormatDouble(MostPhaseError(peer, settled, *later)) << " beats\n"
            << leftOut
            << " blocks left out after the output ran dry; against the engine's own view "
            << textio::FormatDouble(ownView) << " beats, its view against the peer's "
            << textio::FormatDouble(views) << " beats\n";
}

TEST_F(LinkSessionTest, StartAndStopTravelBothWaysWithStartStopSync) {
  LinkPeer peer({"--start-stop-sync", "--tempo", "160"});
  Join(peer, true);
  engine->StartAudioOut();

  // Ours start and stop the session.
  engine->StartPauseClock();
  ASSERT_TRUE(peer.WaitFor([](const Sample& s) { return s.playing; }));
  ASSERT_TRUE(WaitForMark(0, [](const Mark& m) { return m.running; }));
  engine->StartPauseClock();
  ASSERT_TRUE(peer.WaitFor([](const Sample& s) { return !s.playing; }));
  EXPECT_FALSE(engine->ClockStarted());

  // The session's start starts ours at the session's next bar, from our
  // next bar; its stop pauses ours.
  TakeMarks();
  const size_t paused = marks.size();
  peer.Send("play");
  const std::optional<size_t> start = WaitForMark(paused, [](const Mark& m) { return m.running; });
  ASSERT_TRUE(start);
  EXPECT_TRUE(engine->ClockStarted());
  EXPECT_EQ(std::fmod(marks[*start].beat, kQuantum), 0.0);
  EXPECT_GT(marks[*start].beat, 0.0);
  // (Heard just after its bar has gone, a start still takes it, up to two
  // blocks late, and catches up.)
  const double phase = SessionPhase(peer, marks[*start]);
  EXPECT_GE(phase, -kMostPhaseError);
  EXPECT_LT(phase, 2 * BlockBeats(160.0) + kMostPhaseError);
  peer.Send("stop");
  ASSERT_TRUE(WaitUntil([&] { return !engine->GetContext().Clock().IsRunning(); }));
  EXPECT_FALSE(engine->ClockStarted());
}

TEST_F(LinkSessionTest, RendersNeverFollowTheSession) {
  LinkPeer peer({"--tempo", "100"});
  Join(peer, false);
  // With a peer there, the document's tempo is not the session's...
  engine->SetTempo(90.0);
  // ... but the tempo box's is, with audio out stopped too.
  engine->LeadLinkTempo(110.0);
  ASSERT_TRUE(peer.WaitFor([](const Sample& s) { return SameTempo(s.tempo, 110.0); }));

  TempoClock& clock = engine->GetContext().Clock();
  clock.SetRunning(true);  // as an export does
  std::vector<int16_t> buffer(2 * 44100);
  engine->OutStreamFillBuffer(buffer.data(), 44100);
  EXPECT_FALSE(engine->FollowingMidiClock());
  EXPECT_EQ(engine->Tempo(), 90.0);
  EXPECT_NEAR(clock.Position(), 44032 / TempoClock::SamplesPerClockForTempo(90.0), 1e-9);
  TakeMarks();
  EXPECT_TRUE(marks.empty());
}

}  // namespace link_session_test
}  // namespace tg
