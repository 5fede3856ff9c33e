#include "engine/wavefiles/TGWaveOutFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>
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
    if (n == 0) errno = EIO;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t FileSize(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// Whether the bytes from offset at to the end of the file are whole RIFF
// chunks (metadata another program put after the samples), not samples.
bool ChunksFillTheRest(int fd, int64_t at, int64_t fileSize) {
  at += at & 1;
  if (at >= fileSize) return false;
  while (at < fileSize) {
    uint8_t chunk[8];
    if (!riff::ReadAt(fd, chunk, sizeof chunk, at)) return false;
    for (int i = 0; i < 4; ++i) {
      if (!std::isprint(chunk[i])) return false;
    }
    const uint32_t size = riff::U32(chunk + 4);
    at += 8 + static_cast<int64_t>(size) + (size & 1u);
  }
  return at == fileSize;
}

}  // namespace

TGWaveOutFile::TGWaveOutFile(const std::string& fileName, int32_t sampleRate, int16_t channels,
                             bool createNew)
    : fileName_(fileName), sampleRate_(sampleRate), channels_(channels) {
  if (channels_ < 1 || sampleRate_ < 1) {
    Fail("not a sample format a wave file can hold");
    return;
  }
  if (!createNew) {
    fd_ = open(fileName_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ >= 0) {
      if (!OpenExisting()) {
        const std::string layout = channels_ == 1   ? "mono"
                                   : channels_ == 2 ? "stereo"
                                                    : std::to_string(channels_) + "-channel";
        Fail("not a " + std::to_string(sampleRate_) + " Hz " + layout + " 16-bit PCM wave file");
        CloseFile();
      }
      return;
    }
  }
  if (!CreateAnew()) {
    FailWithErrno();
    CloseFile();
  }
}

TGWaveOutFile::~TGWaveOutFile() { Close(); }

bool TGWaveOutFile::Close() {
  if (!IsOpen()) return true;
  bool ok = UpdateHeader();
  if (::close(fd_) != 0) {
    FailWithErrno();
    ok = false;
  }
  fd_ = -1;
  return ok;
}

void TGWaveOutFile::Fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

void TGWaveOutFile::FailWithErrno() {
  const int code = errno;
  Fail(std::error_code(code, std::generic_category()).message());
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
  const int64_t present = std::max<int64_t>(0, fileSize - dataStart_);
  int64_t bytes = dataSize;
  const bool own = IsOwnLayout() && !ChunksFillTheRest(fd_, dataStart_ + dataSize, fileSize);
  if (own) {
    // One of our recordings: its samples run to the end of the file. A take
    // the program did not live to finish left a header that counts too
    // little (or nothing); the samples on disk are what counts, so that
    // appending continues after them instead of overwriting them.
    bytes = present;
  } else if (dataSize == 0 || bytes > present) {
    bytes = present;
  }
  bytes = std::min(bytes, kMaxDataBytes);
  length_ = static_cast<uint32_t>(bytes / FrameBytes());
  position_ = 0;
  if (own) {
    uint8_t riffSize[4];
    const int64_t whole = dataStart_ + static_cast<int64_t>(length_) * FrameBytes();
    const bool straggler = whole < fileSize && bytes == present;
    const bool stale = !riff::ReadAt(fd_, riffSize, 4, riffSizeAt_) ||
                       riff::U32(riffSize) != static_cast<uint32_t>(whole - 8) ||
                       dataSize != length_ * FrameBytes();
    // Half a frame at the end is what a killed write leaves: it is dropped.
    // The repair is worth trying, not worth refusing the file over.
    if (straggler && ftruncate(fd_, whole) != 0) FailWithErrno();
    if (straggler || stale) UpdateHeader();
  }
  return true;
}

bool TGWaveOutFile::IsOwnLayout() const {
  return riffSizeAt_ == 4 && dataSizeAt_ == 40 && dataStart_ == kHeaderSize;
}

void TGWaveOutFile::Seek(uint32_t frame) {
  if (!IsOpen()) return;
  position_ = std::min(frame, length_);
}

void TGWaveOutFile::Restart() {
  if (!IsOpen() || length_ == 0) return;
  if (!CreateAnew()) {
    FailWithErrno();
    CloseFile();
  }
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
  if (n < frames) Fail("a wave file cannot hold more than 4 GiB of samples");
  const size_t values = static_cast<size_t>(n) * static_cast<size_t>(channels_);
  std::vector<uint8_t> raw(values * 2);
  for (size_t i = 0; i < values; ++i) riff::PutU16(&raw[2 * i], static_cast<uint16_t>(buffer[i]));
  const size_t written = WriteAt(fd_, raw.data(), raw.size(), OffsetOf(position_));
  if (written < raw.size()) FailWithErrno();
  const auto done = static_cast<uint32_t>(written / FrameBytes());
  position_ += done;
  length_ = std::max(length_, position_);
  return done;
}

bool TGWaveOutFile::UpdateHeader() {
  if (!IsOpen()) return false;
  const int64_t size = FileSize(fd_);
  uint8_t field[4];
  riff::PutU32(field, static_cast<uint32_t>(std::clamp<int64_t>(size - 8, 0, 0xFFFFFFFFll)));
  bool ok = WriteAt(fd_, field, 4, riffSizeAt_) == 4;
  riff::PutU32(field, length_ * FrameBytes());
  ok = WriteAt(fd_, field, 4, dataSizeAt_) == 4 && ok;
  if (!ok) FailWithErrno();
  return ok;
}

bool TGWaveOutFile::Sync() {
  if (!IsOpen()) return false;
  if (fsync(fd_) == 0) return true;
  FailWithErrno();
  return false;
}

}  // namespace tg
