#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "files/wavefiles/RiffIO.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace wave_out_file_test {

using test::WithFileSizeLimit;

using test::ReadBytes;
using test::WavBuilder;

std::vector<int16_t> Ramp(size_t values, int16_t start = 0) {
  std::vector<int16_t> v(values);
  for (size_t i = 0; i < values; ++i)
    v[i] = static_cast<int16_t>(start + static_cast<int16_t>(i % 30000));
  return v;
}

class WaveOutFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(WaveOutFileTest, ThousandStereoFramesMakeA4044ByteFile) {
  const std::string name = dir / "take.wav";
  {
    TGWaveOutFile file(name, 44100, 2, true);
    ASSERT_TRUE(file.IsOpen());
    const auto samples = Ramp(2000);
    EXPECT_EQ(file.Write(samples.data(), 1000), 1000u);
    EXPECT_EQ(file.Length(), 1000u);
  }
  const auto bytes = ReadBytes(name);
  ASSERT_EQ(bytes.size(), 4044u);
  EXPECT_EQ(riff::U32(&bytes[4]), 4036u);
  EXPECT_EQ(riff::U32(&bytes[40]), 4000u);
  EXPECT_TRUE(riff::IsId(&bytes[0], "RIFF") && riff::IsId(&bytes[8], "WAVE"));
  EXPECT_TRUE(riff::IsId(&bytes[12], "fmt ") && riff::IsId(&bytes[36], "data"));
  EXPECT_EQ(riff::U32(&bytes[16]), 16u);
  EXPECT_EQ(riff::U16(&bytes[20]), 1u);
  EXPECT_EQ(riff::U16(&bytes[22]), 2u);
  EXPECT_EQ(riff::U32(&bytes[24]), 44100u);
  EXPECT_EQ(riff::U32(&bytes[28]), 176400u);
  EXPECT_EQ(riff::U16(&bytes[32]), 4u);
  EXPECT_EQ(riff::U16(&bytes[34]), 16u);
  EXPECT_EQ(static_cast<int16_t>(riff::U16(&bytes[44 + 2 * 1999])), 1999);
}

TEST_F(WaveOutFileTest, AppendingKeepsTheSamplesAndOverwriteStartsAgain) {
  const std::string name = dir / "loop.wav";
  const auto first = Ramp(20000);
  { TGWaveOutFile(name, 44100, 2, true).Write(first.data(), 10000); }
  {
    TGWaveOutFile file(name, 44100, 2, false);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Length(), 10000u);
    file.Seek(file.Length());
    const auto more = Ramp(2000, 5);
    file.Write(more.data(), 1000);
    EXPECT_EQ(file.Length(), 11000u);
  }
  {
    TGWaveOutFile file(name, 44100, 2, false);
    ASSERT_EQ(file.Length(), 11000u);
    std::vector<int16_t> back(22000);
    EXPECT_EQ(file.Read(back.data(), 11000), 11000u);
    EXPECT_EQ(back[19999], first[19999]);
    EXPECT_EQ(back[20000], 5);
    file.Restart();
    EXPECT_EQ(file.Length(), 0u);
    EXPECT_EQ(file.Position(), 0u);
  }
  EXPECT_EQ(ReadBytes(name).size(), 44u);
}

TEST_F(WaveOutFileTest, ReadSeekAndRestartAtTheEdges) {
  const std::string name = dir / "edges.wav";
  TGWaveOutFile file(name, 44100, 1, true);
  file.Restart();  // empty: nothing happens
  EXPECT_TRUE(file.IsOpen());
  const auto samples = Ramp(100, 1);
  file.Write(samples.data(), 100);
  file.Seek(500);
  EXPECT_EQ(file.Position(), 100u);
  std::vector<int16_t> buffer(10, 77);
  EXPECT_EQ(file.Read(buffer.data(), 10), 0u);
  EXPECT_EQ(buffer, std::vector<int16_t>(10, 0));
  file.Seek(95);
  std::fill(buffer.begin(), buffer.end(), int16_t{77});
  EXPECT_EQ(file.Read(buffer.data(), 10), 5u);
  EXPECT_EQ(buffer[4], 100);
  EXPECT_EQ(buffer[5], 0);
}

TEST_F(WaveOutFileTest, RefusedFilesStayByteForByteAsTheyWere) {
  const std::vector<int16_t> data = Ramp(64);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"22050 Hz", WavBuilder().Fmt(2, 22050).Data16(data).Bytes()},
      {"mono", WavBuilder().Fmt(1, 44100).Data16(data).Bytes()},
      {"8-bit", WavBuilder().Fmt(2, 44100, 8).Data16(data).Bytes()},
      {"float", WavBuilder().Fmt(2, 44100, 32, 3).Data16(data).Bytes()},
      {"no data", WavBuilder().Fmt(2, 44100).Bytes()},
      {"no fmt", WavBuilder().Data16(data).Bytes()},
      {"not RIFF", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}},
      {"empty", {}},
      {"garbage", std::vector<uint8_t>(300, 0xA5)},
  };
  for (const Case& c : cases) {
    const std::string name = dir / "refused.wav";
    test::WriteBytes(name, c.bytes);
    {
      TGWaveOutFile file(name, 44100, 2, false);
      EXPECT_FALSE(file.IsOpen()) << c.what;
      int16_t frame[2] = {1, 1};
      EXPECT_EQ(file.Write(frame, 1), 0u) << c.what;
    }
    EXPECT_EQ(ReadBytes(name), c.bytes) << c.what;
  }
}

TEST_F(WaveOutFileTest, OtherChunksAreSkippedAndOddSizesPadded) {
  const std::string name = dir / "chunks.wav";
  WavBuilder()
      .Chunk("junk", {1, 2, 3})  // odd: padded to 4
      .Fmt(2, 44100)
      .Chunk("LIST", {'I', 'N', 'F', 'O', 'x'})
      .Data16(Ramp(8, 10))
      .WriteTo(name);
  TGWaveOutFile file(name, 44100, 2, false);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Length(), 4u);
  int16_t frame[2];
  file.Seek(3);
  file.Read(frame, 1);
  EXPECT_EQ(frame[0], 16);
  EXPECT_EQ(frame[1], 17);
}

TEST_F(WaveOutFileTest, ATakeWhoseHeaderWasNeverWrittenIsContinuedNotOverwritten) {
  const std::string name = dir / "crashed.wav";
  {
    TGWaveOutFile file(name, 44100, 2, true);
    const auto samples = Ramp(200);
    file.Write(samples.data(), 100);
    // The program dies here: the header still says 0.
    auto bytes = ReadBytes(name);
    ASSERT_EQ(riff::U32(&bytes[40]), 0u);
    test::WriteBytes(dir / "copy.wav", bytes);
  }
  const auto copied = ReadBytes(dir / "copy.wav");
  {
    TGWaveOutFile recovered(dir / "copy.wav", 44100, 2, false);
    ASSERT_TRUE(recovered.IsOpen());
    EXPECT_EQ(recovered.Length(), 100u);
  }
  EXPECT_EQ(ReadBytes(dir / "copy.wav"), copied);  // only read: left as it was

  // A data size beyond the end of the file counts only what is there.
  auto bytes = ReadBytes(name);
  riff::PutU32(&bytes[40], 1000000);
  test::WriteBytes(dir / "long.wav", bytes);
  EXPECT_EQ(TGWaveOutFile(dir / "long.wav", 44100, 2, false).Length(), 100u);
}

TEST_F(WaveOutFileTest, AnAppendAfterAKilledTakeLeavesThatTakeWhole) {
  const std::string name = dir / "takes.wav";
  const std::vector<int16_t> first(2 * 1000, 100), killed(2 * 500, 200), third(2 * 100, 300);
  { TGWaveOutFile(name, 44100, 2, true).Write(first.data(), 1000); }
  // A second take died before its header was brought up to date: the header
  // still counts only the first take, and the last frame is half written.
  auto bytes = ReadBytes(name);
  for (int16_t v : killed) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  bytes.push_back(0x55);
  bytes.push_back(0x55);
  test::WriteBytes(name, bytes);
  ASSERT_EQ(riff::U32(&bytes[40]), 4000u);
  {
    // Opened and closed without a write: nothing changes.
    TGWaveOutFile file(name, 44100, 2, false);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Length(), 1500u);
  }
  EXPECT_EQ(ReadBytes(name), bytes);
  {
    TGWaveOutFile file(name, 44100, 2, false);
    file.Seek(file.Length());
    file.Write(third.data(), 100);
    EXPECT_TRUE(file.UpdateHeader());
    // Repaired by the append, the half frame gone: any program reads all three takes.
    const auto repaired = ReadBytes(name);
    ASSERT_EQ(repaired.size(), 44u + 6400u);
    EXPECT_EQ(riff::U32(&repaired[4]), 6436u);
    EXPECT_EQ(riff::U32(&repaired[40]), 6400u);
  }
  TGWaveOutFile file(name, 44100, 2, false);
  ASSERT_EQ(file.Length(), 1600u);
  std::vector<int16_t> back(2 * 1600);
  file.Read(back.data(), 1600);
  EXPECT_EQ(back[2 * 999], 100);
  EXPECT_EQ(back[2 * 1000], 200);
  EXPECT_EQ(back[2 * 1499 + 1], 200);
  EXPECT_EQ(back[2 * 1500], 300);
}

TEST_F(WaveOutFileTest, ChunksAnotherProgramPutAfterTheSamplesAreNotTakenForSamples) {
  const std::string name = dir / "tagged.wav";
  WavBuilder()
      .Fmt(2, 44100)
      .Data16(Ramp(40))
      .Chunk("LIST", {'I', 'N', 'F', 'O', 1, 2})
      .WriteTo(name);
  const auto before = ReadBytes(name);
  {
    TGWaveOutFile file(name, 44100, 2, false);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Length(), 20u);
  }
  EXPECT_EQ(ReadBytes(name), before);
}

// What other programs put after the samples, on files in our own header
// layout: each as bytes after the samples of a 20-frame file.
struct Trailer {
  const char* what;
  std::vector<uint8_t> bytes;
  bool countedInRiff;  // whether the program that added it grew the RIFF size
};

std::vector<uint8_t> Id3v1Tag() {
  std::vector<uint8_t> tag(128, 0);
  const std::string title = "TAGSong title";
  std::copy(title.begin(), title.end(), tag.begin());
  return tag;
}

std::vector<uint8_t> ChunkBytes(const std::string& id, std::vector<uint8_t> data) {
  std::vector<uint8_t> chunk(id.begin(), id.end());
  const auto size = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) chunk.push_back(static_cast<uint8_t>(size >> (8 * i)));
  chunk.insert(chunk.end(), data.begin(), data.end());
  return chunk;
}

std::vector<Trailer> Trailers() {
  std::vector<uint8_t> listThenTag = ChunkBytes("LIST", {'I', 'N', 'F', 'O'});
  const auto tag = Id3v1Tag();
  listThenTag.insert(listThenTag.end(), tag.begin(), tag.end());
  return {
      {"ID3v1 tag", Id3v1Tag(), false},
      {"LIST chunk, RIFF size not grown", ChunkBytes("LIST", {'I', 'N', 'F', 'O', 'I', 'N'}),
       false},
      {"LIST chunk of odd size without its pad", ChunkBytes("LIST", {'I', 'N', 'F', 'O', 7}), true},
      {"id3 chunk", ChunkBytes("id3 ", {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0}), true},
      {"LIST chunk and ID3v1 tag", listThenTag, false},
      {"junk", std::vector<uint8_t>(6, 0xA5), true},
  };
}

std::vector<uint8_t> WithTrailer(const std::vector<int16_t>& samples, const Trailer& t) {
  auto bytes = WavBuilder().Fmt(2, 44100).Data16(samples).Bytes();
  bytes.insert(bytes.end(), t.bytes.begin(), t.bytes.end());
  if (t.countedInRiff) riff::PutU32(&bytes[4], static_cast<uint32_t>(bytes.size() - 8));
  return bytes;
}

TEST_F(WaveOutFileTest, WhatOtherProgramsPutAfterTheSamplesIsNeitherReadNorChanged) {
  const auto samples = Ramp(40, 7);
  for (const Trailer& t : Trailers()) {
    const std::string name = dir / "tagged.wav";
    const auto before = WithTrailer(samples, t);
    test::WriteBytes(name, before);
    {
      TGWaveOutFile file(name, 44100, 2, false);
      ASSERT_TRUE(file.IsOpen()) << t.what;
      EXPECT_EQ(file.Length(), 20u) << t.what;
      std::vector<int16_t> back(2 * 30, 1);
      EXPECT_EQ(file.Read(back.data(), 30), 20u) << t.what;
      EXPECT_TRUE(std::equal(samples.begin(), samples.end(), back.begin())) << t.what;
      EXPECT_EQ(back[40], 0) << t.what;
      EXPECT_TRUE(file.UpdateHeader()) << t.what;
    }
    EXPECT_EQ(ReadBytes(name), before) << t.what;
  }
}

TEST_F(WaveOutFileTest, AnAppendMovesWhatFollowsTheSamplesAlong) {
  const auto samples = Ramp(40, 7);
  const auto more = Ramp(20, 1000);
  for (const Trailer& t : Trailers()) {
    const std::string name = dir / "grown.wav";
    const auto before = WithTrailer(samples, t);
    test::WriteBytes(name, before);
    {
      TGWaveOutFile file(name, 44100, 2, false);
      file.Seek(file.Length());
      EXPECT_EQ(file.Write(more.data(), 10), 10u) << t.what;
      EXPECT_EQ(file.Length(), 30u) << t.what;
    }
    const auto after = ReadBytes(name);
    ASSERT_EQ(after.size(), before.size() + 40u) << t.what;
    // The trailer follows the new samples unchanged, and the sizes grew by them.
    EXPECT_TRUE(std::equal(t.bytes.begin(), t.bytes.end(), after.end() - t.bytes.size())) << t.what;
    EXPECT_EQ(riff::U32(&after[4]), riff::U32(&before[4]) + 40u) << t.what;
    EXPECT_EQ(riff::U32(&after[40]), 120u) << t.what;
    TGWaveOutFile file(name, 44100, 2, false);
    ASSERT_EQ(file.Length(), 30u) << t.what;
    std::vector<int16_t> back(2 * 30);
    file.Read(back.data(), 30);
    EXPECT_EQ(back[39], samples[39]) << t.what;
    EXPECT_EQ(back[40], more[0]) << t.what;
    EXPECT_EQ(back[59], more[19]) << t.what;
  }
}

TEST_F(WaveOutFileTest, AFullDiskShowsInWriteAndError) {
  const std::string name = dir / "full.wav";
  const std::string report = WithFileSizeLimit(64 * 1024, [&]() -> std::string {
    TGWaveOutFile file(name, 44100, 2, true);
    if (!file.IsOpen()) return "not created: " + file.Error();
    const auto samples = Ramp(2 * 100000);
    const uint32_t written = file.Write(samples.data(), 100000);
    if (written >= 100000) return "all 100000 frames said to be written";
    if (written > (64 * 1024 - 44) / 4) return "more written than fits: " + std::to_string(written);
    if (file.Error() != std::strerror(EFBIG)) return "error \"" + file.Error() + "\"";
    if (!file.Close()) return "the header of what was written could not be updated";
    return {};
  });
  EXPECT_EQ(report, "");
}

TEST_F(WaveOutFileTest, TruncatedAndRandomFilesNeverCrash) {
  const auto valid = WavBuilder().Fmt(2, 44100).Chunk("LIST", {1, 2}).Data16(Ramp(40)).Bytes();
  std::mt19937 random(3);
  for (size_t cut = 0; cut <= valid.size(); ++cut) {
    std::vector<uint8_t> bytes(valid.begin(), valid.begin() + static_cast<long>(cut));
    test::WriteBytes(dir / "cut.wav", bytes);
    TGWaveOutFile file(dir / "cut.wav", 44100, 2, false);
    if (!file.IsOpen()) {
      EXPECT_EQ(ReadBytes(dir / "cut.wav"), bytes);
    } else {
      EXPECT_LE(file.Length() * 4u + 54u, cut);  // only whole frames that are there
    }
  }
  for (int round = 0; round < 200; ++round) {
    auto bytes = valid;
    for (int flips = 0; flips < 4; ++flips)
      bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    test::WriteBytes(dir / "noise.wav", bytes);
    TGWaveOutFile file(dir / "noise.wav", 44100, 2, false);
    if (file.IsOpen()) {
      std::vector<int16_t> buffer(2 * 64);
      file.Read(buffer.data(), 64);
    }
  }
}

TEST_F(WaveOutFileTest, AFileThatCannotBeCreatedIsNotUsable) {
  TGWaveOutFile file(dir / "missing-dir/take.wav", 44100, 2, true);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Error(), std::strerror(ENOENT));
  test::WriteBytes(dir / "mono.wav", WavBuilder().Fmt(1, 44100).Data16(Ramp(8)).Bytes());
  EXPECT_EQ(TGWaveOutFile(dir / "mono.wav", 44100, 2, false).Error(),
            "not a 44100 Hz stereo 16-bit PCM wave file");
  std::vector<int16_t> buffer(4, 9);
  EXPECT_EQ(file.Read(buffer.data(), 2), 0u);
  EXPECT_EQ(buffer[0], 0);
}

}  // namespace wave_out_file_test
}  // namespace tg
