#include "engine/wavefiles/TGWaveOutFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/wavefiles/RiffIO.h"

namespace tg {

namespace {

size_t WriteAt(int fd, const void* data, size_t size, int64_t offset) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd, p + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t FileSize(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// The largest data chunk whose sizes still fit the format's 32-bit fields.
constexpr int64_t kMaxDataBytes = 0xFFFFFFFFll - (TGWaveOutFile::kHeaderSize - 8);

}  // namespace

TGWaveOutFile::TGWaveOutFile(const std::string& fileName, int32_t sampleRate, int16_t channels,
                             bool createNew)
    : fileName_(fileName), sampleRate_(sampleRate), channels_(channels) {
  if (channels_ < 1 || sampleRate_ < 1) return;
  if (!createNew) {
    fd_ = open(fileName_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ >= 0) {
      if (!OpenExisting()) CloseFile();
      return;
    }
  }
  if (!CreateAnew()) CloseFile();
}

TGWaveOutFile::~TGWaveOutFile() { Close(); }

void TGWaveOutFile::Close() {
  if (!IsOpen()) return;
  UpdateHeader();
  CloseFile();
}

void TGWaveOutFile::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TGWaveOutFile::CreateAnew() {
  CloseFile();
  fd_ = open(fileName_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  uint8_t h[kHeaderSize];
  riff::PutId(h, "RIFF");
  riff::PutU32(h + 4, 0);
  riff::PutId(h + 8, "WAVE");
  riff::PutId(h + 12, "fmt ");
  riff::PutU32(h + 16, 16);
  riff::PutU16(h + 20, 1);
  riff::PutU16(h + 22, static_cast<uint16_t>(channels_));
  riff::PutU32(h + 24, static_cast<uint32_t>(sampleRate_));
  riff::PutU32(h + 28, static_cast<uint32_t>(sampleRate_) * FrameBytes());
  riff::PutU16(h + 32, static_cast<uint16_t>(FrameBytes()));
  riff::PutU16(h + 34, 16);
  riff::PutId(h + 36, "data");
  riff::PutU32(h + 40, 0);
  riffSizeAt_ = 4;
  dataSizeAt_ = 40;
  dataStart_ = kHeaderSize;
  position_ = length_ = 0;
  return WriteAt(fd_, h, sizeof h, 0) == sizeof h;
}

bool TGWaveOutFile::OpenExisting() {
  const int64_t fileSize = FileSize(fd_);
  if (!riff::IsRiffWave(fd_)) return false;
  riffSizeAt_ = 4;
  int64_t at = 12;
  uint32_t fmtSize = 0;
  int64_t fmtSizeAt = 0;
  if (!riff::FindChunk(fd_, at, "fmt ", fmtSize, fmtSizeAt) || fmtSize != 16) return false;
  uint8_t fmt[16];
  if (!riff::ReadAt(fd_, fmt, sizeof fmt, at)) return false;
  if (riff::U16(fmt) != 1 || riff::U16(fmt + 2) != static_cast<uint16_t>(channels_) ||
      riff::U32(fmt + 4) != static_cast<uint32_t>(sampleRate_) ||
      riff::U32(fmt + 8) != static_cast<uint32_t>(sampleRate_) * FrameBytes() ||
      riff::U16(fmt + 12) != FrameBytes() || riff::U16(fmt + 14) != 16) {
    return false;
  }
  at += 16;
  uint32_t dataSize = 0;
  if (!riff::FindChunk(fd_, at, "data", dataSize, dataSizeAt_)) return false;
  dataStart_ = at;
  // A take whose header was never updated (the program died while
  // recording) says 0, or more than the file holds: count what is there,
  // so that appending continues the take instead of overwriting it.
  const int64_t present = std::max<int64_t>(0, fileSize - dataStart_);
  int64_t bytes = dataSize;
  if (dataSize == 0 || bytes > present) bytes = present;
  bytes = std::min(bytes, kMaxDataBytes);
  length_ = static_cast<uint32_t>(bytes / FrameBytes());
  position_ = 0;
  return true;
}

void TGWaveOutFile::Seek(uint32_t frame) {
  if (!IsOpen()) return;
  position_ = std::min(frame, length_);
}

void TGWaveOutFile::Restart() {
  if (!IsOpen() || length_ == 0) return;
  if (!CreateAnew()) CloseFile();
}

uint32_t TGWaveOutFile::Read(int16_t* buffer, uint32_t frames) {
  const size_t values = static_cast<size_t>(frames) * static_cast<size_t>(channels_);
  const uint32_t count = IsOpen() ? std::min(length_ - position_, frames) : 0;
  size_t got = 0;
  if (count > 0) {
    std::vector<uint8_t> raw(static_cast<size_t>(count) * FrameBytes());
    const ssize_t n = pread(fd_, raw.data(), raw.size(), OffsetOf(position_));
    got = n > 0 ? static_cast<size_t>(n) / 2 : 0;
    for (size_t i = 0; i < got; ++i) buffer[i] = static_cast<int16_t>(riff::U16(&raw[2 * i]));
    position_ += count;
  }
  std::fill(buffer + got, buffer + values, int16_t{0});
  return count;
}

uint32_t TGWaveOutFile::Write(const int16_t* buffer, uint32_t frames) {
  if (!IsOpen()) return 0;
  const int64_t room =
      (kMaxDataBytes - static_cast<int64_t>(position_) * FrameBytes()) / FrameBytes();
  const auto n = static_cast<uint32_t>(std::clamp<int64_t>(frames, 0, std::max<int64_t>(room, 0)));
  const size_t values = static_cast<size_t>(n) * static_cast<size_t>(channels_);
  std::vector<uint8_t> raw(values * 2);
  for (size_t i = 0; i < values; ++i) riff::PutU16(&raw[2 * i], static_cast<uint16_t>(buffer[i]));
  const size_t written = WriteAt(fd_, raw.data(), raw.size(), OffsetOf(position_));
  const auto done = static_cast<uint32_t>(written / FrameBytes());
  position_ += done;
  length_ = std::max(length_, position_);
  return done;
}

void TGWaveOutFile::UpdateHeader() {
  if (!IsOpen()) return;
  const int64_t size = FileSize(fd_);
  uint8_t field[4];
  riff::PutU32(field, static_cast<uint32_t>(std::clamp<int64_t>(size - 8, 0, 0xFFFFFFFFll)));
  WriteAt(fd_, field, 4, riffSizeAt_);
  riff::PutU32(field, length_ * FrameBytes());
  WriteAt(fd_, field, 4, dataSizeAt_);
}

}  // namespace tg
