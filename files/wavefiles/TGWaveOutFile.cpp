#include "files/wavefiles/TGWaveOutFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include "files/wavefiles/RiffIO.h"

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

// More than this after the samples is not moved along by an append.
constexpr int64_t kMaxTailBytes = 16 << 20;

// Our header: every field fixed but the two sizes.
void PutOwnHeader(uint8_t* h, int32_t sampleRate, uint16_t frameBytes, uint32_t riffSize,
                  uint32_t dataSize) {
  riff::PutId(h, "RIFF");
  riff::PutU32(h + 4, riffSize);
  riff::PutId(h + 8, "WAVE");
  riff::PutId(h + 12, "fmt ");
  riff::PutU32(h + 16, 16);
  riff::PutU16(h + 20, 1);
  riff::PutU16(h + 22, frameBytes / 2u);
  riff::PutU32(h + 24, static_cast<uint32_t>(sampleRate));
  riff::PutU32(h + 28, static_cast<uint32_t>(sampleRate) * frameBytes);
  riff::PutU16(h + 32, frameBytes);
  riff::PutU16(h + 34, 16);
  riff::PutId(h + 36, "data");
  riff::PutU32(h + 40, dataSize);
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
  PutOwnHeader(h, sampleRate_, static_cast<uint16_t>(FrameBytes()), 0, 0);
  riffSizeAt_ = 4;
  dataSizeAt_ = 40;
  dataStart_ = tailAt_ = kHeaderSize;
  tail_.clear();
  outsideRiff_ = 0;
  position_ = length_ = 0;
  changed_ = headerStale_ = true;
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
  uint8_t field[4];
  if (!riff::ReadAt(fd_, field, 4, riffSizeAt_)) return false;
  const uint32_t riffSize = riff::U32(field);
  const int64_t present = std::max<int64_t>(0, fileSize - dataStart_);
  const int64_t declaredEnd = dataStart_ + dataSize;

  // Our header as a take the program did not live to finish left it (sizes
  // never written, or written for fewer samples than followed): the samples
  // on disk are what counts, so that appending continues after them instead
  // of overwriting them. Anything else decides by its header alone, so a
  // tag or chunk another program added is never taken for samples.
  const bool ownHeader =
      IsOwnLayout() && (static_cast<uint64_t>(riffSize) == uint64_t{dataSize} + 36 ||
                        (riffSize == 0 && dataSize == 0));
  const bool killedTake = ownHeader && present > int64_t{dataSize} &&
                          !riff::LooksLikeTrailer(fd_, declaredEnd, fileSize);
  // Some writers leave the data size 0 and the samples to the end of the file.
  const bool unsized = !ownHeader && dataSize == 0 && present > 0 &&
                       !riff::LooksLikeTrailer(fd_, dataStart_, fileSize);
  const bool toTheEnd = killedTake || unsized;
  const int64_t bytes = toTheEnd ? present : std::min<int64_t>(dataSize, present);
  length_ = static_cast<uint32_t>(std::min(bytes, kMaxDataBytes) / FrameBytes());
  position_ = 0;
  tailAt_ = toTheEnd ? fileSize : std::min(fileSize, declaredEnd + (dataSize & 1u));
  const int64_t riffEnd = int64_t{riffSize} + 8;
  outsideRiff_ = !toTheEnd && riffEnd >= tailAt_ && riffEnd < fileSize ? fileSize - riffEnd : 0;
  tail_.clear();
  changed_ = headerStale_ = false;
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

bool TGWaveOutFile::MoveTail(int64_t to) {
  const int64_t size = to + static_cast<int64_t>(tail_.size());
  if (!tail_.empty() && WriteAt(fd_, tail_.data(), tail_.size(), to) != tail_.size()) {
    FailWithErrno();
    return false;
  }
  tailAt_ = to;
  if (FileSize(fd_) != size && ftruncate(fd_, size) != 0) {
    FailWithErrno();
    return false;
  }
  return true;
}

bool TGWaveOutFile::PrepareFirstChange() {
  if (changed_) return true;
  // What follows the samples is kept to be moved along as they grow; the
  // half frame a killed write left, or a pad byte, goes.
  const int64_t tailBytes = std::max<int64_t>(0, FileSize(fd_) - tailAt_);
  if (tailBytes > kMaxTailBytes) {
    Fail("more than 16 MiB of other data follows the samples; the file cannot be appended to");
    return false;
  }
  tail_.resize(static_cast<size_t>(tailBytes));
  if (tailBytes > 0 && !riff::ReadAt(fd_, tail_.data(), tail_.size(), tailAt_)) {
    FailWithErrno();
    return false;
  }
  if (!MoveTail(OffsetOf(length_))) return false;
  changed_ = headerStale_ = true;
  return true;
}

uint32_t TGWaveOutFile::Write(const int16_t* buffer, uint32_t frames) {
  if (!IsOpen() || !PrepareFirstChange()) return 0;
  const int64_t room =
      (kMaxDataBytes - static_cast<int64_t>(position_) * FrameBytes()) / FrameBytes();
  const auto n = static_cast<uint32_t>(std::clamp<int64_t>(frames, 0, std::max<int64_t>(room, 0)));
  if (n < frames) Fail("a wave file cannot hold more than 4 GiB of samples");
  const size_t values = static_cast<size_t>(n) * static_cast<size_t>(channels_);
  std::vector<uint8_t> raw(values * 2);
  for (size_t i = 0; i < values; ++i) riff::PutU16(&raw[2 * i], static_cast<uint16_t>(buffer[i]));
  const int64_t from = OffsetOf(position_);
  const size_t written = WriteAt(fd_, raw.data(), raw.size(), from);
  if (written < raw.size()) FailWithErrno();
  const auto done = static_cast<uint32_t>(written / FrameBytes());
  position_ += done;
  length_ = std::max(length_, position_);
  headerStale_ = true;
  // Whatever followed the samples goes back after them, over any frame
  // that was only partly written.
  if (from + static_cast<int64_t>(written) > tailAt_) MoveTail(OffsetOf(length_));
  return done;
}

bool TGWaveOutFile::UpdateHeader() {
  if (!IsOpen()) return false;
  if (!headerStale_) return true;
  const int64_t size = FileSize(fd_);
  const auto riffSize =
      static_cast<uint32_t>(std::clamp<int64_t>(size - 8 - outsideRiff_, 0, 0xFFFFFFFFll));
  const uint32_t dataSize = length_ * FrameBytes();
  bool ok = true;
  if (IsOwnLayout()) {
    // Both sizes in one write, so that a kill leaves either the old pair or the new one.
    uint8_t h[kHeaderSize];
    PutOwnHeader(h, sampleRate_, static_cast<uint16_t>(FrameBytes()), riffSize, dataSize);
    ok = WriteAt(fd_, h + 4, kHeaderSize - 4, 4) == kHeaderSize - 4;
  } else {
    uint8_t field[4];
    riff::PutU32(field, riffSize);
    ok = WriteAt(fd_, field, 4, riffSizeAt_) == 4;
    riff::PutU32(field, dataSize);
    ok = WriteAt(fd_, field, 4, dataSizeAt_) == 4 && ok;
  }
  if (!ok) {
    FailWithErrno();
    return false;
  }
  headerStale_ = false;
  return true;
}

bool TGWaveOutFile::Sync() {
  if (!IsOpen()) return false;
  if (fsync(fd_) == 0) return true;
  FailWithErrno();
  return false;
}

bool TGWaveOutFile::StillAtItsName() const {
  if (fd_ < 0) return false;
  struct stat open {};
  struct stat named {};
  if (fstat(fd_, &open) != 0) return true;  // cannot tell: keep it
  if (open.st_nlink == 0) return false;
  if (stat(fileName_.c_str(), &named) != 0) return errno != ENOENT && errno != ENOTDIR;
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace tg
