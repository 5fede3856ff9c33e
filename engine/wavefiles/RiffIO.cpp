#include "engine/wavefiles/RiffIO.h"

#include <unistd.h>

#include <cerrno>

namespace tg::riff {

bool ReadAt(int fd, void* data, size_t size, int64_t offset) {
  auto* p = static_cast<uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = pread(fd, p, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

bool FindChunk(int fd, int64_t& at, const char* id, uint32_t& size, int64_t& sizeAt) {
  uint8_t chunk[8];
  while (ReadAt(fd, chunk, sizeof chunk, at)) {
    size = U32(chunk + 4);
    sizeAt = at + 4;
    at += 8;
    if (IsId(chunk, id)) return true;
    at += static_cast<int64_t>(size) + (size & 1u);
  }
  return false;
}

bool IsRiffWave(int fd) {
  uint8_t head[12];
  return ReadAt(fd, head, sizeof head, 0) && IsId(head, "RIFF") && IsId(head + 8, "WAVE");
}

}  // namespace tg::riff
