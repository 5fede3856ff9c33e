#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tg {

// A 16-bit PCM RIFF/WAVE file to record into and play back from. It only
// ever appends to an existing file of exactly its own format. Opening never
// changes a file: one it refuses, or one only read, is left byte for byte as
// it was. Whatever another program put after the samples (tags, chunks) is
// moved along by an append, and the header is brought up to date when the
// file is first written. Usable exactly when IsOpen() after construction.
// Not for the audio thread: every call does file I/O.
class TGWaveOutFile {
 public:
  static constexpr int kHeaderSize = 44;
  // The most bytes of samples whose sizes still fit the format's 32-bit fields.
  static constexpr int64_t kMaxDataBytes = 0xFFFFFFFFll - (kHeaderSize - 8);

  // Opens an existing file of this format for appending, or (when it does
  // not exist, or createNew) creates it with an empty header.
  TGWaveOutFile(const std::string& fileName, int32_t sampleRate, int16_t channels, bool createNew);
  // Writes the final sizes and closes the file.
  ~TGWaveOutFile();
  TGWaveOutFile(const TGWaveOutFile&) = delete;
  TGWaveOutFile& operator=(const TGWaveOutFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Moves to a frame, clamped to the length.
  void Seek(uint32_t frame);
  // Empties the file (a fresh header) unless it is empty already.
  void Restart();
  // Reads up to frames frames; the rest of the buffer is zeroed. Answers the frames read.
  uint32_t Read(int16_t* buffer, uint32_t frames);
  // Writes frames at the position. Answers the frames written (fewer only at
  // the 4 GiB limit of the format or when the disk fails; see Error()).
  uint32_t Write(const int16_t* buffer, uint32_t frames);
  // Writes the RIFF and data sizes if anything was written since they last
  // were; false when that failed.
  bool UpdateHeader();
  // Waits until everything written is on the disk; false when it is not.
  bool Sync();
  // Writes the sizes and closes the file; the object is then unusable.
  // False when the sizes or the last of the samples may not have reached the file.
  bool Close();

  // Why the file could not be opened, created or written, in words; empty
  // while nothing went wrong.
  const std::string& Error() const { return error_; }

  uint32_t Position() const { return position_; }
  uint32_t Length() const { return length_; }
  const std::string& FileName() const { return fileName_; }
  // Whether the open file is still the one its name leads to: another
  // program may have removed it, or put another file in its place.
  bool StillAtItsName() const;
  int32_t SampleRate() const { return sampleRate_; }
  int16_t Channels() const { return channels_; }

 private:
  bool CreateAnew();
  bool OpenExisting();
  bool IsOwnLayout() const;
  bool PrepareFirstChange();
  bool MoveTail(int64_t to);
  uint32_t FrameBytes() const { return static_cast<uint32_t>(channels_) * 2u; }
  int64_t OffsetOf(uint32_t frame) const {
    return dataStart_ + static_cast<int64_t>(frame) * FrameBytes();
  }
  void Fail(const std::string& why);
  void FailWithErrno();
  void CloseFile();

  uint32_t position_ = 0;
  uint32_t length_ = 0;
  std::string fileName_;
  int32_t sampleRate_;
  int16_t channels_;
  int fd_ = -1;
  int64_t riffSizeAt_ = 4;
  int64_t dataSizeAt_ = 40;
  int64_t dataStart_ = kHeaderSize;
  // Where the bytes after the samples begin (the end of the file when there
  // are none), what they are once an append had to move them, and how many
  // of them lie outside the RIFF chunk (an ID3v1 tag).
  int64_t tailAt_ = kHeaderSize;
  std::vector<uint8_t> tail_;
  int64_t outsideRiff_ = 0;
  bool changed_ = false;      // written to since it was opened
  bool headerStale_ = false;  // the sizes on disk lag behind
  std::string error_;
};

}  // namespace tg
