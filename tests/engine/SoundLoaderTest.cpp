#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dsp/QSFunctionTable.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "files/SoundFilePaths.h"
#include "files/loading/SoundLoader.h"
#include "files/loading/SoundSlot.h"
#include "files/wavefiles/SoundFileReader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "framework/QSSignalProcessor.h"
#include "framework/TContraptionFactory.h"
#include "properties/QSCStringProperty.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace sound_loader_test {

using namespace std::chrono_literals;
using test::WavBuilder;

constexpr auto kPatience = 30s;  // generous: the CI machine is loaded

// A type that plays the file its "File_0" names, looped and added to its
// inlet: how every type that plays a sound file uses its slot.
class TestSampler final : public QSSignalProcessor {
 public:
  static constexpr int32_t kMaxFrames = 661500;

  explicit TestSampler(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
    SetOutletSignal(0, &out_);
    sound_.Follow(file);
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) { add(file, "File_0"); });
  }
  void Reset() override { position_ = 0; }
  void Process() override {
    const SoundData* sound = sound_.Acquire();
    if (sound != playing_) {  // new sound starts from its beginning
      playing_ = sound;
      position_ = 0;
    }
    out_.CopyFrom(InletSignal(0));
    if (sound == nullptr || sound->Frames() == 0) return;
    for (int i = 0; i < kBlockSize; ++i) {
      out_[i] += sound->At(position_, 0);
      if (++position_ == sound->Frames()) position_ = 0;
    }
  }
  // UI thread: for a window's " !".
  bool FileFailed() const { return sound_.LastLoadFailed(); }

  QSCStringProperty file;

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
  SoundSlot sound_{SoundConversion::Frames(kMaxFrames)};
  const SoundData* playing_ = nullptr;
  int32_t position_ = 0;
};

// Holds the loader's worker inside the read of any file whose name contains
// "slow" until opened, like a disk that hangs.
class SlowDisk {
 public:
  void Read(const std::string& path) {
    std::unique_lock lock(mutex_);
    ++reads_;
    changed_.notify_all();
    if (path.find("slow") == std::string::npos) return;
    ++held_;
    changed_.notify_all();
    if (!changed_.wait_for(lock, kPatience, [this] { return open_; })) timedOut_ = true;
  }
  // Until the worker is held in the given number of reads; false on time-out.
  bool AwaitHeld(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return held_ >= count; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  // Whether a held read had to give up: somebody waited for the worker.
  bool TimedOut() const {
    std::lock_guard lock(mutex_);
    return timedOut_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int reads_ = 0;
  int held_ = 0;
  bool open_ = false;
  bool timedOut_ = false;
};

void WriteWithSndfile(const std::string& name, int format, int rate, int channels,
                      const std::vector<float>& frames) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(name.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
  sf_close(f);
}

// A 16-bit mono file at 44100 Hz holding one level throughout.
void WriteLevel(const std::string& name, int16_t level, int frames = 1000) {
  WavBuilder()
      .Fmt(1, 44100)
      .Data16(std::vector<int16_t>(static_cast<size_t>(frames), level))
      .WriteTo(name);
}

class SoundLoaderTest : public ::testing::Test {
 protected:
  SoundLoaderTest() {
    loader.SetReadHook([this](const std::string& path) { disk.Read(path); });
  }
  ~SoundLoaderTest() override { disk.Open(); }

  // What the audio side plays once every load asked for has arrived.
  const SoundData* Arrived(SoundSlot& slot) {
    loader.WaitUntilIdle();
    return slot.Acquire();
  }

  test::TempDir dir;
  SlowDisk disk;
  SoundLoader loader;
};

TEST_F(SoundLoaderTest, TablesComeOutAsTheTableLoaderFillsThem) {
  // 22050 Hz mono: stretched to twice its length by linear interpolation.
  const std::string half = dir / "half.wav";
  std::vector<int16_t> ramp(100);
  for (int i = 0; i < 100; ++i) ramp[static_cast<size_t>(i)] = static_cast<int16_t>(i * 100);
  WavBuilder().Fmt(1, 22050).Data16(ramp).WriteTo(half);
  SoundSlot slot(SoundConversion::Table(1000), loader);
  slot.Load(half);
  const SoundData* d = Arrived(slot);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(slot.LastLoadFailed());
  EXPECT_EQ(d->Channels(), 1);
  EXPECT_EQ(d->Frames(), 1000);
  EXPECT_EQ(d->Source().sampleRate, 22050.0);
  for (int j = 0; j < 198; ++j) {
    const float expected = (j / 2) * 100 / 32768.0f + (j % 2) * 50 / 32768.0f;
    ASSERT_NEAR(d->At(j, 0), expected, 1e-7f) << j;
  }
  EXPECT_NEAR(d->At(199, 0), 9900 / 32768.0f, 1e-7f);
  QSFunctionTable table(1000);
  ASSERT_TRUE(LoadWaveIntoTable(table, half));
  for (int j = 0; j <= 1000; ++j) ASSERT_EQ(d->At(j, 0), table[j]) << j;  // guard included

  // Stereo at the program's rate: (L + R) × 0.76; the rest of the table silent.
  const std::string stereo = dir / "stereo.wav";
  WavBuilder().Fmt(2, 44100).Data16({1000, 3000, -2000, 500, 32767, 32767}).WriteTo(stereo);
  SoundSlot small(SoundConversion::Table(8), loader);
  small.Load(stereo);
  d = Arrived(small);
  ASSERT_NE(d, nullptr);
  EXPECT_FLOAT_EQ(d->At(0, 0), (1000 + 3000) / 32768.0f * 0.76f);
  EXPECT_FLOAT_EQ(d->At(1, 0), (-2000 + 500) / 32768.0f * 0.76f);
  EXPECT_FLOAT_EQ(d->At(2, 0), (32767 + 32767) / 32768.0f * 0.76f);
  for (int j = 3; j <= 8; ++j) EXPECT_EQ(d->At(j, 0), 0.0f) << j;
}

TEST_F(SoundLoaderTest, FramesKeepTheChannelsAtTheProgramRateUpToTheLimit) {
  // 22050 Hz stereo: each channel stretched on its own.
  const std::string half = dir / "half-stereo.wav";
  std::vector<int16_t> frames;
  for (int i = 0; i < 50; ++i) {
    frames.push_back(static_cast<int16_t>(i * 100));
    frames.push_back(static_cast<int16_t>(-i * 200));
  }
  WavBuilder().Fmt(2, 22050).Data16(frames).WriteTo(half);
  SoundSlot slot(SoundConversion::Frames(TestSampler::kMaxFrames), loader);
  slot.Load(half);
  const SoundData* d = Arrived(slot);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->Channels(), 2);
  ASSERT_EQ(d->Frames(), 100);
  for (int j = 0; j < 98; ++j) {
    ASSERT_NEAR(d->At(j, 0), ((j / 2) * 100 + (j % 2) * 50) / 32768.0f, 1e-7f) << j;
    ASSERT_NEAR(d->At(j, 1), -((j / 2) * 200 + (j % 2) * 100) / 32768.0f, 1e-7f) << j;
  }
  EXPECT_EQ(d->At(100, 0), 0.0f);  // the guard frame
  EXPECT_EQ(d->At(100, 1), 0.0f);

  // Longer than the limit: cut at it, at either rate.
  const std::string longFile = dir / "long.wav";
  WriteWithSndfile(longFile, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
                   std::vector<float>(TestSampler::kMaxFrames + 5000, 0.25f));
  slot.Load(longFile);
  d = Arrived(slot);
  EXPECT_EQ(d->Channels(), 1);
  EXPECT_EQ(d->Frames(), TestSampler::kMaxFrames);
  EXPECT_EQ(d->At(TestSampler::kMaxFrames - 1, 0), 0.25f);
  const std::string slowRate = dir / "long-22050.wav";
  WriteWithSndfile(slowRate, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1,
                   std::vector<float>(5000, -0.5f));
  SoundSlot short1000(SoundConversion::Frames(1000), loader);
  short1000.Load(slowRate);
  d = Arrived(short1000);
  EXPECT_EQ(d->Frames(), 1000);
  EXPECT_EQ(d->At(999, 0), -0.5f);
}

TEST_F(SoundLoaderTest, EveryFormatLibsndfileReadsLoads) {
  std::vector<float> sine(6000);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 441.0 * (i / 2) / 44100.0));
  struct Case {
    const char* name;
    int format;
    float tolerance;
  };
  const Case cases[] = {
      {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1e-6f},
      {"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1e-6f},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1e-7f},
      {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1e-4f},
      {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1e-6f},
  };
  SoundSlot slot(SoundConversion::Frames(TestSampler::kMaxFrames), loader);
  for (const Case& c : cases) {
    const std::string name = dir / c.name;
    WriteWithSndfile(name, c.format, 44100, 2, sine);  // both channels the same
    slot.Load(name);
    const SoundData* d = Arrived(slot);
    ASSERT_NE(d, nullptr) << c.name;
    EXPECT_FALSE(slot.LastLoadFailed()) << c.name;
    ASSERT_EQ(d->Frames(), 3000) << c.name;
    ASSERT_EQ(d->Channels(), 2) << c.name;
    for (int i = 0; i < 3000; i += 37) {
      ASSERT_NEAR(d->At(i, 0), sine[2 * static_cast<size_t>(i)], c.tolerance) << c.name << i;
      ASSERT_NEAR(d->At(i, 1), sine[2 * static_cast<size_t>(i)], c.tolerance) << c.name << i;
    }
  }
}

TEST_F(SoundLoaderTest, AFileThatCannotBeReadLeavesTheOldDataAndSaysSo) {
  const std::string good = dir / "good.wav";
  WriteLevel(good, 1000);
  test::WriteBytes(dir / "junk.wav", std::vector<uint8_t>(1000, 0x5A));
  SoundSlot slot(SoundConversion::Frames(100), loader);
  slot.Load(good);
  const SoundData* old = Arrived(slot);
  ASSERT_NE(old, nullptr);
  for (const std::string& bad : {dir / "missing.wav", dir / "junk.wav", dir.Path()}) {
    slot.Load(bad);
    EXPECT_EQ(Arrived(slot), old) << bad;
    EXPECT_TRUE(slot.LastLoadFailed()) << bad;
    EXPECT_FALSE(slot.IsLoading()) << bad;
    EXPECT_EQ(old->At(0, 0), 1000 / 32768.0f);
  }
  slot.Load(good);
  EXPECT_NE(Arrived(slot), nullptr);
  EXPECT_FALSE(slot.LastLoadFailed());

  // An empty name asks for silence: no frames, or a table of zeros.
  slot.Load("");
  EXPECT_EQ(Arrived(slot)->Frames(), 0);
  EXPECT_FALSE(slot.LastLoadFailed());
  SoundSlot table(SoundConversion::Table(64), loader);
  table.Load("");
  const SoundData* silence = Arrived(table);
  ASSERT_EQ(silence->Frames(), 64);
  for (int i = 0; i <= 64; ++i) EXPECT_EQ(silence->At(i, 0), 0.0f);
}

TEST_F(SoundLoaderTest, AFollowedTextLoadsWhenItIsSetOrReadIn) {
  WriteLevel(dir / "a.wav", 100);
  WriteLevel(dir / "b.wav", 200);
  QSCStringProperty file(dir / "a.wav");
  SoundSlot slot(SoundConversion::Frames(100), loader);
  slot.Follow(file);  // names a file already
  EXPECT_EQ(Arrived(slot)->At(0, 0), 100 / 32768.0f);

  file.SetValue(dir / "b.wav");
  EXPECT_EQ(Arrived(slot)->At(0, 0), 200 / 32768.0f);
  const int reads = disk.Reads();
  file.SetValue(dir / "b.wav");  // the same text: nothing to load
  loader.WaitUntilIdle();
  EXPECT_EQ(disk.Reads(), reads);

  std::string quoted = "\"";
  quoted += dir / "a.wav";
  quoted += '"';
  std::istringstream document(quoted);
  file.ReadFrom(document);
  EXPECT_EQ(Arrived(slot)->At(0, 0), 100 / 32768.0f);

  // Presets keep clones of the text; those load nothing.
  auto clone = file.Clone();
  static_cast<QSCStringProperty&>(*clone).SetValue(dir / "b.wav");
  loader.WaitUntilIdle();
  EXPECT_EQ(slot.Acquire()->At(0, 0), 100 / 32768.0f);
}

TEST_F(SoundLoaderTest, ASlowDiskNeverHoldsUpTheAudioSide) {
  WriteLevel(dir / "old.wav", 100);
  WriteLevel(dir / "slow.wav", 300);
  SoundSlot slot(SoundConversion::Frames(1000), loader);
  slot.Load(dir / "old.wav");
  const SoundData* old = Arrived(slot);
  ASSERT_NE(old, nullptr);

  slot.Load(dir / "slow.wav");
  ASSERT_TRUE(disk.AwaitHeld(1));
  // The worker is stuck in the read: every block plays the old sound at once.
  for (int block = 0; block < 1000; ++block) ASSERT_EQ(slot.Acquire(), old);
  EXPECT_TRUE(slot.IsLoading());
  EXPECT_FALSE(loader.IsIdle());

  disk.Open();
  loader.WaitUntilIdle();
  EXPECT_FALSE(slot.IsLoading());
  const SoundData* arrived = slot.Acquire();  // the first block after it was published
  ASSERT_NE(arrived, old);
  EXPECT_EQ(arrived->At(0, 0), 300 / 32768.0f);
  EXPECT_FALSE(disk.TimedOut());
}

TEST_F(SoundLoaderTest, DestroyingASlotDuringALoadNeitherWaitsNorLeaks) {
  WriteLevel(dir / "old.wav", 100);
  WriteLevel(dir / "slow.wav", 300);
  WriteLevel(dir / "queued.wav", 500);
  const int64_t before = SoundData::LiveCount();
  {
    auto slot = std::make_unique<SoundSlot>(SoundConversion::Frames(1000), loader);
    slot->Load(dir / "old.wav");
    ASSERT_NE(Arrived(*slot), nullptr);
    slot->Load(dir / "slow.wav");
    ASSERT_TRUE(disk.AwaitHeld(1));
    slot->Load(dir / "queued.wav");  // waits behind the slow one
    slot.reset();                    // with the worker still stuck in the read
  }
  disk.Open();
  loader.WaitUntilIdle();
  EXPECT_FALSE(disk.TimedOut());  // nobody waited for the disk
  EXPECT_EQ(SoundData::LiveCount(), before);

  // Data published but never taken goes with its slot too.
  {
    SoundSlot slot(SoundConversion::Table(4096), loader);
    slot.Load(dir / "old.wav");
    loader.WaitUntilIdle();
    EXPECT_EQ(SoundData::LiveCount(), before + 1);
  }
  EXPECT_EQ(SoundData::LiveCount(), before);
}

TEST_F(SoundLoaderTest, ManyLoadsWhileAThreadPlaysTheSlot) {
  constexpr int kFiles = 8;
  constexpr int kLoads = 400;
  for (int k = 0; k < kFiles; ++k)
    WriteLevel(dir / ("level" + std::to_string(k) + ".wav"), static_cast<int16_t>(100 * (k + 1)),
               2000);
  const int64_t before = SoundData::LiveCount();
  {
    SoundSlot slot(SoundConversion::Frames(4096), loader);
    std::atomic<bool> stop{false};
    std::atomic<float> heard{0.0f};
    std::atomic<int> torn{0};
    std::thread audio([&] {
      while (!stop.load()) {
        const SoundData* d = slot.Acquire();
        if (d == nullptr) continue;
        // Each file is one level throughout: anything else is data seen half-made or freed.
        const float first = d->At(0, 0);
        for (int i = 0; i < d->Frames(); ++i) {
          if (d->At(i, 0) != first) torn.fetch_add(1);
        }
        heard.store(first);
      }
    });
    for (int i = 0; i < kLoads; ++i) {
      slot.Load(dir / ("level" + std::to_string(i % kFiles) + ".wav"));
      // Now and then every load gets through, so the player takes many.
      if (i % 3 == 0) loader.WaitUntilIdle();
    }
    loader.WaitUntilIdle();
    const float last = 100.0f * kFiles / 32768.0f;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (heard.load() != last && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_EQ(heard.load(), last);
    EXPECT_EQ(torn.load(), 0);
    EXPECT_FALSE(slot.LastLoadFailed());
  }
  loader.WaitUntilIdle();
  EXPECT_EQ(SoundData::LiveCount(), before);
}

// Opens the disk when the render begins, so the loads are still under way
// when its first block is due.
class OpenDiskAtStart final : public WaveExportProgress {
 public:
  explicit OpenDiskAtStart(SlowDisk& disk) : disk_(disk) {}
  void Stage(const std::string&, const std::string&) override { disk_.Open(); }
  void Progress(double) override {}
  bool Cancelled() override { return false; }

 private:
  SlowDisk& disk_;
};

TEST(SoundLoaderRenderTest, ADocumentNamingTwentyFilesRendersAllOfThem) {
  constexpr int kSamplers = 20;
  test::TempDir dir;
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  factory.Emplace<TMakerTemplate<TestSampler>>("TestSampler", "Test", 0, false);
  TAudioEngineModule engine(factory);
  PatchModel model;
  PatchEditor patch(engine, model);
  test::ScriptedQueries queries;
  TGDocument document(patch, queries);

  // Each file its own level, so the sum is right only when all of them play.
  std::string presets = "{ ";
  for (int i = 0; i < 20; ++i) presets += i == 0 ? "{  }" : ", {  }";
  presets += " }{ }{ 30 20 F Z Z 0 0 Z Z Z Z  }";
  std::string text =
      ".tgh 0.5\r\ntempo:\r\n\t120\r\nvisual1:\r\n\t180\r\n\t1\r\n\t1\r\ncontraptions:\r\n";
  int16_t total = 0;
  for (int k = 1; k <= kSamplers; ++k) {
    const std::string file = "slow" + std::to_string(k) + ".wav";
    WriteLevel(dir / file, static_cast<int16_t>(32 * k), 700 + k);
    total = static_cast<int16_t>(total + 32 * k);
    text += "\tTestSampler\tTestSampler_" + std::to_string(k) + "\t{ \"" + file + "\" }\t" +
            presets + "\r\n";
  }
  text += "\tSoundOut\tSoundOut\t{ \"\", 0, 0, 0, 300 }\t" + presets + "\r\nconnections:\r\n";
  for (int k = 1; k < kSamplers; ++k) {
    text += "\tTestSampler_" + std::to_string(k) + "\t0\tTestSampler_" + std::to_string(k + 1) +
            "\t0\r\n";
  }
  text += "\tTestSampler_20\t0\tSoundOut\t0\r\nend\r\n";
  std::ofstream(dir / "twenty.tgh", std::ios::binary) << text;

  SlowDisk disk;
  // The program's loader, which the engine waits for; as it was afterwards.
  struct ProgramLoaderOnSlowDisk {
    explicit ProgramLoaderOnSlowDisk(SlowDisk& slow) : disk_(slow) {
      SoundLoader::Instance().SetReadHook([&slow](const std::string& path) { slow.Read(path); });
    }
    ~ProgramLoaderOnSlowDisk() {
      disk_.Open();
      SoundLoader::Instance().WaitUntilIdle();
      SoundLoader::Instance().SetReadHook(nullptr);
      SetDocumentDirectory("");
    }
    SlowDisk& disk_;
  } slowDisk(disk);
  ASSERT_TRUE(document.Open(dir / "twenty.tgh"));  // names resolve beside the document
  ASSERT_TRUE(disk.AwaitHeld(1));

  WaveExportRequest request;
  request.mode = WaveExportRequest::Mode::TimedSegment;
  request.record = 0.5;
  request.fileName = dir / "out.wav";
  OpenDiskAtStart progress(disk);
  EXPECT_EQ(ExportAsWave(engine, request, &progress), WaveExportResult::Written);

  TGWaveOutFile out(request.fileName, 44100, 2, false);
  ASSERT_EQ(out.Length(), 22050u);
  std::vector<int16_t> samples(2 * 22050);
  out.Read(samples.data(), 22050);
  const int16_t expected = static_cast<int16_t>(total / 32768.0f * 32767.0f);
  for (size_t i = 0; i < samples.size(); i += 2) ASSERT_NEAR(samples[i], expected, 1) << i / 2;
  for (int i = 0; i < model.NodeCount(); ++i) {
    if (auto* s = dynamic_cast<TestSampler*>(&model.NodeAt(i).contraption->Processor())) {
      EXPECT_FALSE(s->FileFailed());
    }
  }
  EXPECT_FALSE(disk.TimedOut());
}

}  // namespace sound_loader_test
}  // namespace tg
