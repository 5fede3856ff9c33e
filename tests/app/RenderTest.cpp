#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/EngineLock.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "dsp/QSNoiseSource.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "engine/midi/MidiInput.h"
#include "engine/midi/MidiTargets.h"
#include "engine/midi/MidiWake.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace render_test {

using test::WithFileSizeLimit;

// Notes the clock position each time it runs.
class ClockProbe final : public QSSignalProcessor {
 public:
  explicit ClockProbe(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override { positions.push_back(Context()->Clock().Position()); }
  void Reset() override { positions.clear(); }
  std::vector<double> positions;

 private:
  QSSignal out_;
};

class CancelAfter final : public WaveExportProgress {
 public:
  explicit CancelAfter(int chunks) : left_(chunks) {}
  void Stage(const std::string& first, const std::string&) override { stages.push_back(first); }
  void Progress(double fraction) override {
    last = fraction;
    --left_;
  }
  bool Cancelled() override { return left_ <= 0; }
  std::vector<std::string> stages;
  double last = 0;

 private:
  int left_;
};

class RenderTest : public ::testing::Test {
 protected:
  RenderTest() {
    RegisterContraptionTypes(factory);
    factory.Emplace<TMakerTemplate<ClockProbe>>("ClockProbe", "Test", 0, false);
    gen = patch.NewContraption("TestGen", 0, 0);
    out = patch.NewContraption("SoundOut", 0, 50);
    patch.Connect(*gen, 0, *out, 0);
    auto& g = static_cast<TGTestSignalGenerator&>(gen->contraption->Processor());
    g.amplitude.SetValue(0.5);
    g.frequency.SetValue(441.0);
  }
  std::vector<int16_t> ReadBack(const std::string& name, uint32_t& frames) {
    TGWaveOutFile file(name, 44100, 2, false);
    frames = file.Length();
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    file.Read(samples.data(), frames);
    return samples;
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  PatchModel model;
  PatchEditor patch{engine, model};
  PatchNode* gen = nullptr;
  PatchNode* out = nullptr;
  test::TempDir dir;
};

TEST_F(RenderTest, OneBarAt120BpmIsExactly88200FramesOfTheTone) {
  WaveExportRequest request;
  request.fileName = dir / "bar.wav";
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  uint32_t frames = 0;
  const auto samples = ReadBack(request.fileName, frames);
  ASSERT_EQ(frames, 88200u);
  int crossings = 0;
  int peak = 0;
  for (size_t i = 2 * 44100 + 2; i < samples.size(); i += 2) {
    crossings += samples[i - 2] < 0 && samples[i] >= 0;
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  }
  EXPECT_NEAR(crossings, 441, 1);
  EXPECT_NEAR(peak / 32767.0, 0.5, 0.01);
  EXPECT_EQ(samples[1], 0);  // nothing on the right
  // The 20 Hz glide from silence: no step at the start, and the first
  // samples far below the tone's full level.
  int step = 0;
  for (size_t i = 2; i < 2000; i += 2) step = std::max(step, std::abs(samples[i] - samples[i - 2]));
  EXPECT_LT(step, 1100);  // the steepest slope of the sine itself
  // 1 − 1/e of the way after one time constant of the 20 Hz smoother (351 samples).
  int around = 0;
  for (size_t i = 2 * 300; i < 2 * 400; i += 2)
    around = std::max(around, std::abs(static_cast<int>(samples[i])));
  EXPECT_NEAR(around / 32767.0 / 0.5, 1.0 - std::exp(-1.0), 0.06);
}

TEST_F(RenderTest, PreRollIsRoundedToChunksAndEndsOnBar80) {
  PatchNode* probeNode = patch.NewContraption("ClockProbe", 0, 0);
  patch.Connect(*probeNode, 0, *out, 1);
  auto& probe = static_cast<ClockProbe&>(probeNode->contraption->Processor());
  WaveExportRequest request;
  request.preRoll = 1;  // 88200 frames, rounded up to 131072
  request.record = 1;
  request.fileName = dir / "preroll.wav";
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  ASSERT_FALSE(probe.positions.empty());
  EXPECT_NEAR(probe.positions.front(), 7680.0 - 131072.0 / 918.75, 1e-9);
  EXPECT_NEAR(probe.positions[131072 / 256], 7680.0, 1e-6);  // the first recorded block
  uint32_t frames = 0;
  ReadBack(request.fileName, frames);
  EXPECT_EQ(frames, 88200u);
}

TEST_F(RenderTest, ChunkSizedRecordsAndTimedSegments) {
  WaveExportRequest request;
  request.mode = WaveExportRequest::Mode::TimedSegment;
  request.record = 131072.0 / 44100.0;
  request.fileName = dir / "chunk.wav";
  EXPECT_EQ(ExportFrames(engine, request).record, 131072);
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  uint32_t frames = 0;
  ReadBack(request.fileName, frames);
  EXPECT_EQ(frames, 131072u);
}

TEST_F(RenderTest, TheClockIsGivenBackAndCancellingLeavesNoFile) {
  TempoClock& clock = engine.GetContext().Clock();
  clock.SetRunning(true);
  clock.SetPosition(10.3);
  WaveExportRequest request;
  request.record = 8;  // 705600 frames, six chunks
  request.fileName = dir / "cancelled.wav";
  CancelAfter cancel(2);
  EXPECT_EQ(ExportAsWave(engine, request, &cancel), WaveExportResult::Cancelled);
  EXPECT_FALSE(std::filesystem::exists(request.fileName));
  EXPECT_EQ(cancel.stages.back(), "Cancelling...");
  EXPECT_EQ(cancel.last, 1.0);
  EXPECT_TRUE(clock.IsRunning());
  EXPECT_EQ(clock.Position(), 11.0);

  clock.SetRunning(false);
  request.fileName = dir / "no-such-dir/x.wav";
  WaveExportMessage message;
  EXPECT_EQ(ExportAsWave(engine, request, nullptr, &message), WaveExportResult::CannotCreateFile);
  EXPECT_EQ(message.text, "An error occurred while saving the file.\n" + request.fileName + ": " +
                              std::string(std::strerror(ENOENT)) + ".");
  EXPECT_FALSE(clock.IsRunning());
  EXPECT_EQ(clock.Position(), 0.0);
}

// What is in the directory besides the file itself: temporaries left behind.
std::vector<std::string> OtherFiles(const test::TempDir& dir, const std::string& file) {
  std::vector<std::string> others;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    if (entry.path().filename() != file) others.push_back(entry.path().filename().string());
  }
  return others;
}

TEST_F(RenderTest, AnExportTheDiskCannotTakeFailsAndLeavesNoFile) {
  TempoClock& clock = engine.GetContext().Clock();
  clock.SetRunning(true);
  clock.SetPosition(10.3);
  WaveExportRequest request;
  request.mode = WaveExportRequest::Mode::TimedSegment;
  request.record = 10.0;  // 1.7 MB into a file that may not pass 256 KiB
  request.fileName = dir / "full.wav";
  const std::string report = WithFileSizeLimit(256 * 1024, [&]() -> std::string {
    WaveExportMessage message;
    const WaveExportResult result = ExportAsWave(engine, request, nullptr, &message);
    if (result != WaveExportResult::WriteFailed)
      return "result " + std::to_string(static_cast<int>(result));
    if (std::filesystem::exists(request.fileName)) return "the partial file is still there";
    if (message.text.find(std::strerror(EFBIG)) == std::string::npos ||
        message.text.find(request.fileName) == std::string::npos)
      return "message: " + message.text;
    if (!clock.IsRunning() || clock.Position() != 11.0) return "the clock was not given back";
    return {};
  });
  EXPECT_EQ(report, "");
  EXPECT_EQ(OtherFiles(dir, "full.wav"), std::vector<std::string>{});
}

TEST_F(RenderTest, ACancelledOrFailedExportLeavesTheFileItWasToReplace) {
  const std::string song = dir / "song.wav";
  const std::vector<uint8_t> old = test::WavBuilder().Fmt(2, 44100).Data16({1, 2, 3, 4}).Bytes();
  test::WriteBytes(song, old);
  WaveExportRequest request;
  request.record = 8;  // six chunks
  request.fileName = song;
  CancelAfter cancel(2);
  EXPECT_EQ(ExportAsWave(engine, request, &cancel), WaveExportResult::Cancelled);
  EXPECT_EQ(test::ReadBytes(song), old);
  EXPECT_EQ(OtherFiles(dir, "song.wav"), std::vector<std::string>{});

  const std::string report = WithFileSizeLimit(256 * 1024, [&]() -> std::string {
    WaveExportMessage message;
    const WaveExportResult result = ExportAsWave(engine, request, nullptr, &message);
    if (result != WaveExportResult::WriteFailed)
      return "result " + std::to_string(static_cast<int>(result));
    if (message.text.find(std::strerror(EFBIG)) == std::string::npos ||
        message.text.find("left as it was") == std::string::npos)
      return "message: " + message.text;
    return {};
  });
  EXPECT_EQ(report, "");
  EXPECT_EQ(test::ReadBytes(song), old);
  EXPECT_EQ(OtherFiles(dir, "song.wav"), std::vector<std::string>{});
}

TEST_F(RenderTest, AFinishedExportReplacesTheFileWithItsPermissionsAndThroughALink) {
  namespace fs = std::filesystem;
  const std::string song = dir / "song.wav";
  test::WriteBytes(song, std::vector<uint8_t>(10, 'x'));
  fs::permissions(song, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("song.wav", dir / "link.wav");
  WaveExportRequest request;
  request.fileName = dir / "link.wav";
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
  uint32_t frames = 0;
  ReadBack(song, frames);
  EXPECT_EQ(frames, 88200u);
  EXPECT_EQ(fs::status(song).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(OtherFiles(dir, "song.wav"), std::vector<std::string>{"link.wav"});

  // What cannot be replaced by a file is refused, and stays.
  fs::create_directory(dir / "folder.wav");
  request.fileName = dir / "folder.wav";
  WaveExportMessage message;
  EXPECT_EQ(ExportAsWave(engine, request, nullptr, &message), WaveExportResult::CannotCreateFile);
  EXPECT_EQ(message.text,
            "An error occurred while saving the file.\n" + request.fileName + ": Is a directory.");
  EXPECT_TRUE(fs::is_directory(request.fileName));
}

TEST_F(RenderTest, TemporariesOfKilledExportsAreRemovedByTheNextExport) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  waitpid(dead, nullptr, 0);
  const std::string stale = dir / ("take.wav.exporting-" + std::to_string(dead));
  const std::string running = dir / "take.wav.exporting-1";  // init always runs
  const std::string unrelated = dir / "take.wav.exporting-draft";
  for (const auto& name : {stale, running, unrelated}) test::WriteBytes(name, {1, 2, 3});
  WaveExportRequest request;
  request.fileName = dir / "take.wav";
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(running));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
}

TEST_F(RenderTest, AnExportTooLongForAWaveFileIsRefusedBeforeAnythingHappens) {
  TempoClock& clock = engine.GetContext().Clock();
  clock.SetPosition(10.3);
  engine.SetTempo(10.0);  // a bar lasts 24 seconds
  WaveExportRequest request;
  request.record = 1100;  // about 7.3 hours
  request.fileName = dir / "long.wav";
  WaveExportMessage message;
  EXPECT_FALSE(FitsInWaveFile(engine, request));
  EXPECT_EQ(ExportAsWave(engine, request, nullptr, &message), WaveExportResult::TooLong);
  EXPECT_NE(message.text.find("1014.49 bars"), std::string::npos) << message.text;
  EXPECT_NE(message.text.find("24347.88 seconds"), std::string::npos) << message.text;
  EXPECT_FALSE(std::filesystem::exists(request.fileName));
  EXPECT_EQ(clock.Position(), 10.3);

  request.mode = WaveExportRequest::Mode::TimedSegment;
  request.record = 24347.88;
  EXPECT_TRUE(FitsInWaveFile(engine, request));
  request.record = 24347.89;
  EXPECT_FALSE(FitsInWaveFile(engine, request, &message));
  EXPECT_EQ(message.text.find("bars"), std::string::npos) << message.text;
}

TEST_F(RenderTest, APanPotMixerPansTheToneInTheRenderedFile) {
  PatchNode* mixer = patch.NewContraption("P2Mixer", 0, 0);
  patch.Disconnect(model.ConnectionAt(0));
  patch.Connect(*gen, 0, *mixer, 1);
  patch.Connect(*mixer, 0, *out, 0);
  patch.Connect(*mixer, 1, *out, 1);
  auto& m = static_cast<TGPanPotMixer&>(mixer->contraption->Processor());
  m.masterGain.SetValue(1.0);
  m.gainProperty(1).SetValue(1.0);
  m.panProperty(1).SetValue(0.25);  // left 1.207, right 0.5
  WaveExportRequest request;
  request.mode = WaveExportRequest::Mode::TimedSegment;
  request.record = 1.0;
  request.fileName = dir / "pan.wav";
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  uint32_t frames = 0;
  const auto samples = ReadBack(request.fileName, frames);
  int left = 0, right = 0;
  for (size_t i = 2 * 22050; i < samples.size(); i += 2) {
    left = std::max(left, std::abs(static_cast<int>(samples[i])));
    right = std::max(right, std::abs(static_cast<int>(samples[i + 1])));
  }
  EXPECT_NEAR(left / 32767.0, 0.5 * 1.2071, 0.01);
  EXPECT_NEAR(right / 32767.0, 0.5 * 0.5, 0.01);
}

// The tone goes straight into SoundOut, beside seven reverbs: a source with
// no inputs may begin its next block on a helper while the engine still
// reads this one from SoundOut. Sharing every pass must not change a sample.
TEST_F(RenderTest, ASourceStraightIntoSoundOutSoundsTheSameSharedAsOnOneThread) {
  if (TAudioEngineModule::ThreadsFor(2) < 2) GTEST_SKIP() << "one core";
  const auto render = [&](int threads) {
    QSNoiseSource::FixSeeds(1);
    TAudioEngineModule e{factory};
    PatchModel m;
    PatchEditor p{e, m};
    PatchNode* sink = p.NewContraption("SoundOut", 0, 0);
    PatchNode* tone = p.NewContraption("TestGen", 0, 0);
    PatchNode* buss = p.NewContraption("M8Buss", 0, 0);
    p.Connect(*tone, 0, *sink, 0);
    p.Connect(*buss, 0, *sink, 1);
    for (int k = 0; k < 8; ++k) {
      PatchNode* source = k == 0 ? tone : p.NewContraption("TestGen", 0, 0);
      auto& g = static_cast<TGTestSignalGenerator&>(source->contraption->Processor());
      g.amplitude.SetValue(k == 0 ? 0.5 : 0.1);
      g.frequency.SetValue(440.0 + 200.0 * k);
      if (k == 0) continue;
      PatchNode* reverb = p.NewContraption("NastyReverb", 0, 0);
      p.Connect(*source, 0, *reverb, 0);
      p.Connect(*reverb, 0, *buss, k - 1);
    }
    e.SetHelpersNeedRealTime(false);
    e.SetProcessingThreads(threads);
    {
      EngineLockGuard guard(e.GetEngineLock());
      e.GetContext().SetJudgeCycle(0, 0);  // every pass shared
    }
    WaveExportRequest request;
    request.mode = WaveExportRequest::Mode::TimedSegment;
    request.record = 10.0;
    request.fileName = dir / ("threads" + std::to_string(threads) + ".wav");
    EXPECT_EQ(ExportAsWave(e, request, nullptr), WaveExportResult::Written);
    uint32_t frames = 0;
    return ReadBack(request.fileName, frames);
  };
  const std::vector<int16_t> alone = render(1);
  const std::vector<int16_t> shared = render(2);
  ASSERT_EQ(alone.size(), shared.size());
  size_t differing = 0;
  for (size_t i = 0; i < alone.size(); ++i) differing += alone[i] != shared[i];
  EXPECT_EQ(differing, 0u);
}

// Writing over SoundOut's own file would leave the takes to come in a file
// no longer on the disk: the export is refused, and the file left as it was.
TEST_F(RenderTest, AnExportOverSoundOutsOwnFileIsRefused) {
  auto& soundOut = static_cast<TGSoundOut&>(out->contraption->Processor());
  const std::string take = dir / "take.wav";
  soundOut.ChooseFile(take);
  soundOut.WaitForFile();
  ASSERT_TRUE(std::filesystem::exists(take));
  const auto before = std::filesystem::last_write_time(take);
  WaveExportRequest request;
  request.fileName = (dir / ".") + "/take.wav";  // the same file, named otherwise
  WaveExportMessage message;
  EXPECT_EQ(ExportAsWave(engine, request, nullptr, &message), WaveExportResult::CannotCreateFile);
  EXPECT_NE(message.text.find("SoundOut records to and plays"), std::string::npos);
  EXPECT_EQ(std::filesystem::last_write_time(take), before);
  request.fileName = dir / "mix.wav";
  EXPECT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
}

// Undo, redo and a preset recall of SoundOut's file name switch the file
// its takes go to, as a choice in its window does.
TEST_F(RenderTest, UndoAndAPresetSwitchSoundOutsFile) {
  auto& soundOut = static_cast<TGSoundOut&>(out->contraption->Processor());
  const auto choose = [&](const std::string& file) {
    soundOut.ChooseFile(file);
    out->contraption->MarkChanged();
    soundOut.WaitForFile();
  };
  choose(dir / "a.wav");
  out->contraption->StorePreset(0);
  choose(dir / "b.wav");
  patch.Undo();
  soundOut.WaitForFile();
  EXPECT_TRUE(soundOut.HoldsFile(dir / "a.wav"));
  patch.Redo();
  soundOut.WaitForFile();
  EXPECT_TRUE(soundOut.HoldsFile(dir / "b.wav"));
  out->contraption->RecallPreset(0);
  soundOut.WaitForFile();
  EXPECT_TRUE(soundOut.HoldsFile(dir / "a.wav"));
}

// The window's export, made while SoundOut records live: the take ends
// where the music stopped for the export, and holds none of the render.
TEST_F(RenderTest, TheWindowsExportEndsALiveTakeRatherThanJoiningIt) {
  auto& soundOut = static_cast<TGSoundOut&>(out->contraption->Processor());
  const std::string take = dir / "take.wav";
  soundOut.ChooseFile(take);
  soundOut.WaitForFile();
  soundOut.action.SetValue(TGSoundOut::kRecord);
  std::vector<int16_t> buffer(2 * 4096);
  engine.OutStreamFillBuffer(buffer.data(), 4096);
  WaveExportRequest request;
  request.fileName = dir / "mix.wav";
  request.preRoll = 1.0;
  request.endLiveTake = true;
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  EXPECT_EQ(soundOut.GetState(), TGSoundOut::kStopped);
  soundOut.FlushFile();
  uint32_t frames = 0;
  ReadBack(take, frames);
  EXPECT_EQ(frames, 4096u);
}

// The window's event loop runs between an export's chunks: a controller
// moved meanwhile waits until the export is over, so the file never hears it.
TEST_F(RenderTest, AControllerMovedDuringAnExportWaitsUntilItIsOver) {
  auto& g = static_cast<TGTestSignalGenerator&>(gen->contraption->Processor());
  MidiWake wake;
  MidiInput input(wake);
  ASSERT_TRUE(engine.AttachMidiInput(input));
  auto map = std::make_unique<MidiTargetMap>();
  MidiTarget volume;
  volume.number = 7;
  volume.processor = &g;
  volume.property = &g.amplitude;
  map->targets.push_back(volume);
  engine.SetMidiTargets(std::move(map));

  class EventLoop final : public WaveExportProgress {
   public:
    EventLoop(TAudioEngineModule& engine, MidiInput& input) : engine_(engine), input_(input) {}
    void Stage(const std::string&, const std::string&) override {}
    void Progress(double fraction) override {
      if (fraction < 0.3 || moved_) return;
      input_.Received(MidiEvent::Make(0, MidiEvent::kController, 0, 7, 0));
      engine_.ApplyMidiWhileStopped();
      moved_ = true;
    }
    bool Cancelled() override { return false; }

   private:
    TAudioEngineModule& engine_;
    MidiInput& input_;
    bool moved_ = false;
  } loop(engine, input);
  WaveExportRequest request;
  request.mode = WaveExportRequest::Mode::TimedSegment;
  request.record = 4.0;
  request.fileName = dir / "steady.wav";
  ASSERT_EQ(ExportAsWave(engine, request, &loop), WaveExportResult::Written);
  uint32_t frames = 0;
  const auto samples = ReadBack(request.fileName, frames);
  int lastPeak = 0;
  for (size_t i = samples.size() - 2 * 4410; i < samples.size(); i += 2)
    lastPeak = std::max(lastPeak, std::abs(static_cast<int>(samples[i])));
  EXPECT_NEAR(lastPeak / 32767.0, 0.5, 0.01);  // the last tenth of a second
  EXPECT_EQ(g.amplitude.Value(), 0.5);
  engine.ApplyMidiWhileStopped();
  EXPECT_EQ(g.amplitude.Value(), 0.0);  // once it is over
  engine.DetachMidiInput(input);
}

// A tone 1.6 dB over full scale: the export counts what it clipped, as the
// file shows it; with the limiter it stays at -0.3 dBFS and says so; a
// quieter tone goes through the limiter untouched.
TEST_F(RenderTest, ClippedSamplesAreCountedAndTheLimiterKeepsThemBelowFullScale) {
  PatchNode* mixer = patch.NewContraption("P2Mixer", 0, 0);
  patch.Disconnect(model.ConnectionAt(0));
  patch.Connect(*gen, 0, *mixer, 1);
  patch.Connect(*mixer, 0, *out, 0);
  patch.Connect(*mixer, 1, *out, 1);
  auto& m = static_cast<TGPanPotMixer&>(mixer->contraption->Processor());
  m.masterGain.SetValue(1.0);
  m.gainProperty(1).SetValue(1.0);
  m.panProperty(1).SetValue(0.25);  // left 1.207, right 0.5 of the tone
  auto& g = static_cast<TGTestSignalGenerator&>(gen->contraption->Processor());
  g.amplitude.SetValue(1.0);
  TGSoundOut& soundOut = engine.SoundOutProcessor();
  auto exportAs = [&](const std::string& name) {
    WaveExportRequest request;
    request.mode = WaveExportRequest::Mode::TimedSegment;
    request.record = 1.0;
    request.fileName = dir / name;
    EXPECT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
    uint32_t frames = 0;
    return ReadBack(request.fileName, frames);
  };
  auto peakOf = [](const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t v : samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
  };

  const auto clipped = exportAs("clipped.wav");
  int atFullScale = 0;
  for (int16_t v : clipped) atFullScale += std::abs(static_cast<int>(v)) >= 32767;
  const TGSoundOut::OutputCounts counts = soundOut.Counts();
  EXPECT_GT(atFullScale, 10000);
  EXPECT_NEAR(static_cast<double>(counts.clipped), atFullScale, 10);
  EXPECT_EQ(soundOut.OutputSummary(),
            std::to_string(counts.clipped) + " samples clipped (peak +1.6 dBFS)");

  engine.SetOutputLimited(true);
  const auto limited = exportAs("limited.wav");
  EXPECT_LE(peakOf(limited), 31656);  // -0.3 dBFS
  EXPECT_GT(peakOf(limited), 31600);
  // Only the frames in the file count, not the rest of the last chunk rendered.
  EXPECT_LE(soundOut.Counts().limited, 44100u);
  EXPECT_GT(soundOut.Counts().limited, 40000u);
  const std::string summary = soundOut.OutputSummary();
  EXPECT_TRUE(summary.starts_with("0 samples clipped (peak -0.3 dBFS); the limiter turned "))
      << summary;
  EXPECT_TRUE(summary.ends_with(" frames down, by up to 1.9 dB")) << summary;

  g.amplitude.SetValue(0.5);
  exportAs("gliding.wav");  // down to the new level
  EXPECT_LT(peakOf(exportAs("quiet.wav")), 31600);
  EXPECT_EQ(soundOut.LimiterSummary(), "");  // every frame went out as it came
}

}  // namespace render_test
}  // namespace tg
