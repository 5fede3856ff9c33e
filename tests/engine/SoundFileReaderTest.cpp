#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/QSFunctionTable.h"
#include "files/wavefiles/SoundFileReader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace sound_file_reader_test {

using test::WavBuilder;

// Writes interleaved float frames in any format libsndfile writes.
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

std::vector<float> Sine(int frames, double hz, double rate, double amplitude) {
  std::vector<float> s(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    s[static_cast<size_t>(i)] =
        static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
  }
  return s;
}

class SoundFileReaderTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(SoundFileReaderTest, WaveInfoOfA16BitFile) {
  const std::string name = dir / "a.wav";
  WavBuilder()
      .Fmt(2, 44100)
      .Chunk("LIST", {1, 2, 3, 4})
      .Data16(std::vector<int16_t>(400))
      .WriteTo(name);
  const WaveInfo info = ReadWaveInfo(name);
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.sampleRate, 44100.0);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.frames, 200);
  EXPECT_EQ(info.dataOffset, 12 + 24 + 12 + 8);

  EXPECT_FALSE(ReadWaveInfo("").valid);
  EXPECT_FALSE(ReadWaveInfo(dir / "missing.wav").valid);
  test::WriteBytes(dir / "junk.wav", std::vector<uint8_t>(1000, 0x5A));
  EXPECT_FALSE(ReadWaveInfo(dir / "junk.wav").valid);
}

TEST_F(SoundFileReaderTest, EveryFormatLoadsAtFullScale) {
  const auto sine = Sine(4000, 441.0, 44100.0, 0.5);
  struct Case {
    const char* name;
    int format;
    float tolerance;
  };
  const Case cases[] = {
      {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1e-4f},
      {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1e-6f},
      {"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1e-6f},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1e-7f},
      {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1e-4f},
      {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1e-4f},
  };
  for (const Case& c : cases) {
    const std::string name = dir / c.name;
    WriteWithSndfile(name, c.format, 44100, 1, sine);
    QSFunctionTable table(4000);
    WaveInfo info;
    ASSERT_TRUE(LoadWaveIntoTable(table, name, &info)) << c.name;
    EXPECT_EQ(info.frames, 4000) << c.name;
    for (int i = 0; i < 4000; i += 97)
      ASSERT_NEAR(table[i], sine[static_cast<size_t>(i)], c.tolerance) << c.name << " " << i;

    // As 16-bit values, every format comes out at full scale, floats included.
    SoundFileReader reader;
    ASSERT_TRUE(reader.Open(name)) << c.name;
    ASSERT_TRUE(reader.SeekFrame(25));  // the first peak of the sine
    int16_t peak = 0;
    ASSERT_EQ(reader.ReadFrames16(&peak, 1), 1) << c.name;
    EXPECT_NEAR(peak, 16384, 2) << c.name;
  }
}

TEST_F(SoundFileReaderTest, StereoAtTheProgramRateIsMixedWithItsGain) {
  const std::string name = dir / "stereo.wav";
  std::vector<int16_t> samples = {1000, 3000, -2000, 500, 32767, 32767};
  WavBuilder().Fmt(2, 44100).Data16(samples).WriteTo(name);
  QSFunctionTable table(8);
  table.Data()[7] = 5.0f;
  ASSERT_TRUE(LoadWaveIntoTable(table, name));
  EXPECT_FLOAT_EQ(table[0], (1000 + 3000) / 32768.0f * 0.76f);
  EXPECT_FLOAT_EQ(table[1], (-2000 + 500) / 32768.0f * 0.76f);
  EXPECT_FLOAT_EQ(table[2], (32767 + 32767) / 32768.0f * 0.76f);
  for (int i = 3; i <= 8; ++i) EXPECT_EQ(table[i], 0.0f) << i;  // guard included
}

TEST_F(SoundFileReaderTest, A22050HzFileIsStretchedToTwiceItsLength) {
  const std::string name = dir / "half.wav";
  std::vector<int16_t> samples(100);
  for (int i = 0; i < 100; ++i) samples[static_cast<size_t>(i)] = static_cast<int16_t>(i * 100);
  WavBuilder().Fmt(1, 22050).Data16(samples).WriteTo(name);
  QSFunctionTable table(1000);
  ASSERT_TRUE(LoadWaveIntoTable(table, name));
  for (int j = 0; j < 198; ++j) {
    const float expected = (j / 2) * 100 / 32768.0f + (j % 2) * 50 / 32768.0f;
    ASSERT_NEAR(table[j], expected, 1e-7f) << j;
  }
  // The last output sample reaches one frame past the file: it holds the last frame.
  EXPECT_NEAR(table[199], 9900 / 32768.0f, 1e-7f);
  EXPECT_EQ(table[200], 0.0f);
}

TEST_F(SoundFileReaderTest, ALongFileFillsTheTableAndAMissingOneLeavesItAlone) {
  const std::string name = dir / "long.wav";
  WriteWithSndfile(name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
                   std::vector<float>(5000, 0.25f));
  QSFunctionTable table(1024);
  ASSERT_TRUE(LoadWaveIntoTable(table, name));
  EXPECT_EQ(table[1023], 0.25f);
  EXPECT_EQ(table[1024], 0.0f);

  QSFunctionTable untouched(4);
  untouched.Data()[2] = 3.0f;
  EXPECT_FALSE(LoadWaveIntoTable(untouched, dir / "nowhere.wav"));
  EXPECT_EQ(untouched[2], 3.0f);
}

TEST_F(SoundFileReaderTest, MoreThanTwoChannelsUseTheFirstTwo) {
  const std::string name = dir / "quad.wav";
  WriteWithSndfile(name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 4, {0.25f, 0.5f, 0.9f, 0.9f});
  QSFunctionTable table(2);
  table.Data()[0] = 7.0f;
  ASSERT_TRUE(LoadWaveIntoTable(table, name));
  EXPECT_FLOAT_EQ(table[0], 0.75f * 0.76f);
}

TEST_F(SoundFileReaderTest, ChannelsKeptAtTheProgramRateAreTheFirstTwo) {
  const std::string name = dir / "quad-22050.wav";
  WriteWithSndfile(name, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 4,
                   {0.25f, -0.5f, 0.9f, 0.9f, 0.75f, -1.0f, 0.9f, 0.9f});
  SoundFileReader reader;
  ASSERT_TRUE(reader.Open(name));
  const ProgramRateSound kept = ReadAtProgramRate(reader, 100, ChannelMix::kKeep);
  ASSERT_EQ(kept.channels, 2);
  ASSERT_EQ(kept.frames, 4);
  const std::vector<float> expected = {0.25f, -0.5f, 0.5f, -0.75f, 0.75f, -1.0f, 0.75f, -1.0f};
  EXPECT_EQ(kept.samples, expected);

  ASSERT_TRUE(reader.Open(name));
  const ProgramRateSound limited = ReadAtProgramRate(reader, 3, ChannelMix::kMono);
  ASSERT_EQ(limited.channels, 1);
  ASSERT_EQ(limited.frames, 3);
  EXPECT_FLOAT_EQ(limited.samples[1], (0.5f - 0.75f) * 0.76f);
}

// What is no finite number plays as silence (an infinity would clip a mix for
// seconds through a feedback path); loud finite samples keep their peaks up
// to +24 dBFS.
TEST_F(SoundFileReaderTest, NonFiniteAndAbsurdSamplesAreTamed) {
  const std::string name = dir / "nan.wav";
  WriteWithSndfile(name, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1,
                   {0.5f, std::nanf(""), 3e38f, -INFINITY, -0.5f, INFINITY, 4.0f, -20.0f});
  QSFunctionTable table(8);
  ASSERT_TRUE(LoadWaveIntoTable(table, name));
  const std::vector<float> expected = {0.5f, 0.0f, 16.0f, 0.0f, -0.5f, 0.0f, 4.0f, -16.0f};
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(table[static_cast<int>(i)], expected[i]) << i;
  SoundFileReader reader;
  ASSERT_TRUE(reader.Open(name));
  int16_t values[8];
  ASSERT_EQ(reader.ReadFrames16(values, 8), 8);
  EXPECT_EQ(values[0], 16384);
  EXPECT_EQ(values[1], 0);
  EXPECT_EQ(values[2], 32767);
  EXPECT_EQ(values[3], 0);
  EXPECT_EQ(values[4], -16384);
}

// A name that is no regular file is refused at once, saying what it is: a
// pipe would otherwise hold the reader (and every load after it) for ever.
TEST_F(SoundFileReaderTest, PipesFoldersAndMissingFilesAreRefusedWithTheirReason) {
  ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.wav");
  test::WriteBytes(dir / "text.wav", std::vector<uint8_t>(100, 'x'));
  SoundFileReader reader;
  for (const auto& [name, why] :
       {std::pair{"pipe.wav", "it is a pipe"}, std::pair{"folder.wav", "it is a folder"},
        std::pair{"missing.wav", "not found"}, std::pair{"text.wav", "not a sound file"}}) {
    EXPECT_FALSE(reader.Open(dir / name)) << name;
    EXPECT_EQ(reader.Problem(), why) << name;
    EXPECT_FALSE(ReadWaveInfo(dir / name).valid);
  }
}

TEST_F(SoundFileReaderTest, DamagedFilesAreRefusedOrReadSafely) {
  const std::string good = dir / "good.wav";
  WriteWithSndfile(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, std::vector<float>(600, 0.1f));
  const auto bytes = test::ReadBytes(good);
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    auto damaged = bytes;
    if (round % 3 == 0) damaged.resize(random() % bytes.size());
    for (int flips = 0; flips < 6; ++flips)
      damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    test::WriteBytes(dir / "damaged.wav", damaged);
    QSFunctionTable table(512);
    LoadWaveIntoTable(table, dir / "damaged.wav");
    for (int i = 0; i <= 512; ++i) ASSERT_TRUE(std::isfinite(table[i]));
  }
}

}  // namespace sound_file_reader_test
}  // namespace tg
