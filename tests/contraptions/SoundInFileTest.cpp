#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <sstream>
#include <thread>
#include <vector>

#include "base/EngineLock.h"
#include "contraptions/io/soundin/TGSoundIn.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/ProgramRateStream.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace sound_in_file_test {

// What SoundOut sends for a 16-bit value that SoundIn read from a file.
int16_t ThroughThePatch(int16_t v) {
  return static_cast<int16_t>(static_cast<float>(v) / 32768.0f * 32767.0f);
}

// Stereo frames whose every value differs, left and right apart.
std::vector<int16_t> StereoRamp(int frames) {
  std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
  for (int k = 0; k < frames; ++k) {
    s[static_cast<size_t>(k) * 2] = static_cast<int16_t>(1000 + k % 20000);
    s[static_cast<size_t>(k) * 2 + 1] = static_cast<int16_t>(-1000 - k % 20000);
  }
  return s;
}

// SoundIn playing a file straight into SoundOut, rendered as an export would.
class SoundInFileTest : public ::testing::Test {
 protected:
  SoundInFileTest() {
    RegisterContraptionTypes(factory);
    soundOut = factory.Create(engine, "SoundOut", "");
    soundIn = factory.Create(engine, "SoundIn", "");
    EXPECT_TRUE(engine.ConnectContraptions(*soundIn, 0, *soundOut, 0));
    EXPECT_TRUE(engine.ConnectContraptions(*soundIn, 1, *soundOut, 1));
    engine.SetUseInputFile(true);
  }
  ~SoundInFileTest() override {
    engine.DestroyContraption(std::move(soundIn));
    engine.DestroyContraption(std::move(soundOut));
  }
  TGSoundIn& in() { return engine.SoundInProcessor(); }
  TGSoundOut& out() { return engine.SoundOutProcessor(); }

  void UseFile(const std::string& name) {
    in().inputFile.SetValue(name);
    in().Reset();
  }
  void Play(bool on = true) { in().active.SetValue(on); }
  // Runs blocks; answers the interleaved frames that reached the device.
  std::vector<int16_t> Run(int blocks) {
    std::vector<int16_t> buffer(static_cast<size_t>(blocks) * 512);
    engine.OutStreamFillBuffer(buffer.data(), blocks * 256);
    return buffer;
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  std::unique_ptr<TGardeningContraption> soundOut, soundIn;
  test::TempDir dir;
};

TEST_F(SoundInFileTest, AFileComesOutAsItIsAndPlayingStopsAfterItsLastFrame) {
  const int frames = 3000;  // not a whole number of blocks
  const std::vector<int16_t> file = StereoRamp(frames);
  test::WriteWave(dir / "ramp.wav", 44100, 2, file);
  // A position read from a document (or left from another file) is not where
  // a newly opened file starts.
  std::istringstream stored("50");
  in().location.ReadFrom(stored);
  UseFile(dir / "ramp.wav");
  ASSERT_TRUE(in().fileIsGood.Value());
  EXPECT_NEAR(in().duration.Value(), frames / 44.1, 1e-9);
  EXPECT_TRUE(in().FileProblem().empty());

  Play();
  const std::vector<int16_t> got = Run(16);
  for (int k = 0; k < frames; ++k) {
    ASSERT_EQ(got[static_cast<size_t>(k) * 2], ThroughThePatch(file[static_cast<size_t>(k) * 2]))
        << k;
    ASSERT_EQ(got[static_cast<size_t>(k) * 2 + 1],
              ThroughThePatch(file[static_cast<size_t>(k) * 2 + 1]))
        << k;
  }
  for (size_t i = frames * 2; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
  EXPECT_FALSE(in().active.Value());
  EXPECT_DOUBLE_EQ(in().location.Value(), in().duration.Value());  // no AutoRewind

  // From the end without AutoRewind nothing plays; with it, the file again.
  Play();
  EXPECT_EQ(Run(2)[0], 0);
  EXPECT_FALSE(in().active.Value());
  in().autoRewind.SetValue(true);
  Play();
  EXPECT_EQ(Run(16)[0], ThroughThePatch(file[0]));
  EXPECT_FALSE(in().active.Value());
  EXPECT_EQ(in().location.Value(), 0.0);  // rewound at the end
}

TEST_F(SoundInFileTest, AMonoFileGivesTheSameSignalOnBothOutlets) {
  test::WriteWave(dir / "mono.wav", 44100, 1, test::Ramp(1000));
  UseFile(dir / "mono.wav");
  Play();
  const std::vector<int16_t> got = Run(4);
  for (int k = 0; k < 1000; ++k) {
    ASSERT_EQ(got[static_cast<size_t>(k) * 2], ThroughThePatch(static_cast<int16_t>(1000 + k)));
    ASSERT_EQ(got[static_cast<size_t>(k) * 2 + 1], got[static_cast<size_t>(k) * 2]);
  }
}

TEST_F(SoundInFileTest, ALoopWithADelayInsertsExactlyThatSilenceBeforeEachRepetition) {
  const int frames = 5000;
  test::WriteWave(dir / "loop.wav", 44100, 1, test::Ramp(frames));
  UseFile(dir / "loop.wav");
  in().loop.SetValue(true);
  in().loopDelay.SetValue(500.0);
  Play();
  const int blocks = (2 * frames + 22050 + 1000) / 256 + 1;
  const std::vector<int16_t> got = Run(blocks);
  auto left = [&](int k) { return got[static_cast<size_t>(k) * 2]; };
  for (int k = 0; k < frames; ++k) ASSERT_EQ(left(k), ThroughThePatch(1000 + k)) << k;
  for (int k = frames; k < frames + 22050; ++k) ASSERT_EQ(left(k), 0) << k;
  for (int k = 0; k < 1000; ++k) ASSERT_EQ(left(frames + 22050 + k), ThroughThePatch(1000 + k));
  EXPECT_TRUE(in().active.Value());  // a loop plays until stopped
}

TEST_F(SoundInFileTest, PlayingContinuesWhereThePositionIsSetAndAPauseResumesThere) {
  const int frames = 44100;
  test::WriteWave(dir / "long.wav", 44100, 1, test::Ramp(frames));
  UseFile(dir / "long.wav");
  // Moved to the middle before playing: it starts there.
  in().location.SetValue(in().duration.Value() / 2);
  Play();
  EXPECT_EQ(Run(1)[0], ThroughThePatch(static_cast<int16_t>(1000 + 22050)));
  // Moved while playing: the next block goes on from there.
  in().location.SetValue(100.0);  // ms
  EXPECT_EQ(Run(1)[0], ThroughThePatch(static_cast<int16_t>(1000 + 4410)));
  EXPECT_NEAR(in().location.Value(), (4410 + 256) / 44.1, 1e-9);
  // Paused and played again without AutoRewind: on from where it was heard.
  Play(false);
  EXPECT_EQ(Run(2)[0], 0);
  Play();
  EXPECT_EQ(Run(1)[0], ThroughThePatch(static_cast<int16_t>(1000 + 4410 + 256)));
}

TEST_F(SoundInFileTest, AFileAtAnotherRateKeepsItsPitchAndLength) {
  // One second of 1 kHz at 48 kHz: 44100 frames of 1 kHz here.
  std::vector<int16_t> sine(48000);
  for (size_t k = 0; k < sine.size(); ++k)
    sine[k] = static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000.0 * k / 48000));
  test::WriteWave(dir / "48k.wav", 48000, 1, sine);
  UseFile(dir / "48k.wav");
  EXPECT_EQ(in().FileFrames(), 44100);
  EXPECT_NEAR(in().duration.Value(), 1000.0, 1e-9);
  Play();
  const std::vector<int16_t> got = Run(200);
  int crossings = 0;
  int last = -1;
  for (int k = 1; k < 51200; ++k) {
    const int16_t a = got[static_cast<size_t>(k - 1) * 2], b = got[static_cast<size_t>(k) * 2];
    if (a < 0 && b >= 0) {
      ++crossings;
      last = k;
    }
  }
  EXPECT_NEAR(crossings, 1000, 1);  // one upward crossing per cycle: 1 kHz
  EXPECT_NEAR(last, 44100, 50);     // and nothing after the second ends
  EXPECT_FALSE(in().active.Value());
}

TEST_F(SoundInFileTest, AFileCutShortWhilePlayingStopsWhereItEndsAndSaysSo) {
  const int frames = 10 * 44100;  // far beyond what is read ahead
  test::WriteWave(dir / "cut.wav", 44100, 1, std::vector<int16_t>(frames, 3000));
  UseFile(dir / "cut.wav");
  Play();
  Run(1);
  // The disk now holds five seconds, although the header says ten.
  std::filesystem::resize_file(dir / "cut.wav", TGWaveOutFile::kHeaderSize + 5 * 44100 * 2);
  const std::vector<int16_t> got = Run(10 * 44100 / 256);
  EXPECT_FALSE(in().active.Value());
  EXPECT_FALSE(in().fileIsGood.Value());
  EXPECT_NE(in().FileProblem().find("could not be read"), std::string::npos) << in().FileProblem();
  // What the disk held played; after it, silence.
  const int end = 5 * 44100 - 256;
  int played = 0;
  while (got[static_cast<size_t>(played) * 2] != 0) ++played;
  EXPECT_EQ(played, end);
  EXPECT_EQ(got[static_cast<size_t>(end - 1) * 2], ThroughThePatch(3000));
  EXPECT_EQ(got[static_cast<size_t>(end + 256) * 2], 0);
}

TEST_F(SoundInFileTest, AFileThatCannotBeReadIsNeverGoodAndSaysWhy) {
  UseFile(dir / "missing.wav");
  EXPECT_FALSE(in().fileIsGood.Value());
  EXPECT_NE(in().FileProblem().find("not found"), std::string::npos) << in().FileProblem();
  Play();
  EXPECT_EQ(Run(2)[0], 0);
  std::ofstream(dir / "text.wav") << "not a sound";
  UseFile(dir / "text.wav");
  EXPECT_FALSE(in().fileIsGood.Value());
  EXPECT_NE(in().FileProblem().find("not a sound file"), std::string::npos);
  // Named relative to the document: the problem names what the name found.
  SetDocumentDirectory(dir / "song.tgh");
  std::filesystem::create_directory(dir / "folder.wav");
  ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
  for (const auto& [name, what] :
       {std::pair{"folder.wav", "it is a folder"}, std::pair{"pipe.wav", "it is a pipe"}}) {
    UseFile(name);  // a pipe never holds the reader up
    EXPECT_FALSE(in().fileIsGood.Value());
    EXPECT_NE(in().FileProblem().find("\"" + dir / name + "\": " + what), std::string::npos)
        << in().FileProblem();
  }
  UseFile("");
  EXPECT_TRUE(in().FileProblem().empty());
}

TEST_F(SoundInFileTest, ProcessedSoundInFileExportsExactlyTheFileThroughThePatch) {
  const int frames = 70000;
  const std::vector<int16_t> file = StereoRamp(frames);
  test::WriteWave(dir / "take.wav", 44100, 2, file);
  UseFile(dir / "take.wav");
  in().location.SetValue(300.0);  // given back afterwards
  WaveExportRequest request;
  request.mode = WaveExportRequest::Mode::ProcessedSoundInFile;
  request.wholeSoundInFile = true;
  request.fileName = dir / "export.wav";
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  TGWaveOutFile exported(dir / "export.wav", 44100, 2, false);
  ASSERT_EQ(exported.Length(), static_cast<uint32_t>(frames));
  std::vector<int16_t> got(static_cast<size_t>(frames) * 2);
  exported.Seek(0);
  ASSERT_EQ(exported.Read(got.data(), frames), static_cast<uint32_t>(frames));
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], ThroughThePatch(file[i])) << i;
  EXPECT_EQ(in().location.Value(), 300.0);
  EXPECT_FALSE(in().active.Value());
}

TEST_F(SoundInFileTest, SoundInSyncRecordsExactlyTheFilesLength) {
  const int frames = 10000;
  test::WriteWave(dir / "source.wav", 44100, 1, test::Ramp(frames));
  UseFile(dir / "source.wav");
  out().ChooseFile(dir / "take.wav");
  out().WaitForFile();
  out().punchMode.SetValue(TGSoundOut::kSoundInSync);
  out().action.SetValue(TGSoundOut::kRecord);
  Run(5);
  EXPECT_EQ(out().GetState(), TGSoundOut::kRecordPaused);  // waits for SoundIn
  Play();
  Run(frames / 256 + 5);
  EXPECT_EQ(out().GetState(), TGSoundOut::kStopped);
  out().FlushFile();
  TGWaveOutFile take(dir / "take.wav", 44100, 2, false);
  ASSERT_EQ(take.Length(), static_cast<uint32_t>(frames));
  int16_t first[2] = {};
  take.Seek(0);
  take.Read(first, 1);
  EXPECT_EQ(first[0], ThroughThePatch(1000));
}

TEST_F(SoundInFileTest, LiveABlockCountsAsPlayedOnlyOnceTheReaderHasTheFrames) {
  // Played live from the middle, the reader needs a moment to seek: the
  // blocks before its first frames must not count, or a synchronised take
  // would begin with silence.
  const std::vector<int16_t> file = test::Ramp(20000);
  test::WriteWave(dir / "source.wav", 44100, 1, file);
  UseFile(dir / "source.wav");
  in().location.SetValue(100.0);
  in().SetOffline(false);
  Play();
  const float expected = static_cast<float>(file[4410]) / 32768.0f;
  int waited = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (; std::chrono::steady_clock::now() < deadline; ++waited) {
    in().Process();
    if (in().PlayingFrames() > 0) break;
    std::this_thread::yield();
  }
  ASSERT_GT(in().PlayingFrames(), 0);
  EXPECT_NEAR(in().OutletAt(0).signal->Data()[0], expected, 1e-6) << waited << " blocks waited";
}

TEST_F(SoundInFileTest, UsingTheInputFileStopsTheFileWhenTurnedOff) {
  test::WriteWave(dir / "mono.wav", 44100, 1, test::Ramp(20000));
  UseFile(dir / "mono.wav");
  Play();
  EXPECT_NE(Run(1)[0], 0);
  engine.SetUseInputFile(false);
  EXPECT_FALSE(in().active.Value());
  EXPECT_FALSE(engine.IsUsingInputFile());
  EXPECT_EQ(Run(1)[0], 0);  // no device input runs
}

// The reader publishes its position every block; a move the user makes just
// before that publishing lands is still where playing goes on.
TEST_F(SoundInFileTest, AMoveIsNotLostToTheReadersOwnPositionUpdate) {
  test::WriteWave(dir / "long.wav", 44100, 1, test::Ramp(20000));
  UseFile(dir / "long.wav");
  Play();
  Run(1);
  in().location.SetValue(100.0);
  in().location.Publish(256 / 44.1);  // the reader's update, arriving after the move
  EXPECT_EQ(Run(1)[0], ThroughThePatch(static_cast<int16_t>(1000 + 4410)));
  // Paused: the next play starts where the user moved to.
  Play(false);
  Run(1);
  in().location.SetValue(200.0);
  in().location.Publish(in().duration.Value());
  Play();
  EXPECT_EQ(Run(1)[0], ThroughThePatch(static_cast<int16_t>(1000 + 8820)));
}

// A preset or an undo may set "UseADC" without the engine: the file stops
// and its meters with it.
TEST_F(SoundInFileTest, LeavingFileModeByAnyRouteStopsTheFile) {
  test::WriteWave(dir / "mono.wav", 44100, 1, std::vector<int16_t>(20000, 8000));
  UseFile(dir / "mono.wav");
  Play();
  Run(2);
  ASSERT_GT(in().FileLevelLeft(), 0.0f);
  in().useADC.SetValue(true);
  EXPECT_EQ(Run(1)[0], 0);
  EXPECT_FALSE(in().active.Value());
  EXPECT_EQ(in().FileLevelLeft(), 0.0f);
  // Back in file mode it stays stopped until played again.
  in().useADC.SetValue(false);
  EXPECT_EQ(Run(1)[0], 0);
  EXPECT_FALSE(in().active.Value());
}

TEST(ProgramRateStreamTest, SeekingGivesTheSameFramesAsReadingOnAtAnyRate) {
  test::TempDir dir;
  for (int rate : {22050, 44100, 48000, 96000}) {
    std::vector<int16_t> s(static_cast<size_t>(rate) / 10);
    for (size_t k = 0; k < s.size(); ++k)
      s[k] = static_cast<int16_t>(10000 * std::sin(0.01 * static_cast<double>(k)));
    test::WriteWave(dir / "f.wav", rate, 1, s);
    ProgramRateStream whole, part;
    ASSERT_TRUE(whole.Open(dir / "f.wav"));
    ASSERT_TRUE(part.Open(dir / "f.wav"));
    EXPECT_EQ(whole.Frames(), ProgramRateStream::FramesAtProgramRate(rate / 10, rate));
    EXPECT_NEAR(static_cast<double>(whole.Frames()), 4410.0, 1.0) << rate;
    std::vector<float> a(static_cast<size_t>(whole.Frames()) * 2 + 64);
    ASSERT_EQ(whole.Read(a.data(), 100000), whole.Frames());
    EXPECT_FALSE(whole.Failed());
    part.Seek(1234);
    std::vector<float> b(200);
    ASSERT_EQ(part.Read(b.data(), 100), 100);
    for (size_t i = 0; i < b.size(); ++i) ASSERT_EQ(b[i], a[1234 * 2 + i]) << rate << " " << i;
  }
}

}  // namespace sound_in_file_test
}  // namespace tg
