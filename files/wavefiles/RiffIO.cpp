#include "files/wavefiles/RiffIO.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <initializer_list>

namespace tg::riff {

namespace {

constexpr int64_t kId3v1Size = 128;

// Chunks that tagging and broadcast programs write after the samples.
bool IsKnownChunkId(const uint8_t* p) {
  for (const char* id : {"LIST", "id3 ", "ID3 ", "JUNK", "junk", "PAD ", "bext", "iXML", "axml",
                         "cue ", "smpl", "inst", "fact", "acid", "cart", "umid", "DISP", "PEAK",
                         "_PMX", "plst", "labl", "note", "ltxt", "afsp", "levl", "FLLR"}) {
    if (IsId(p, id)) return true;
  }
  return false;
}

// Four letters, digits, spaces or underscores: what chunk ids are made of.
bool IsIdLike(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (!std::isalnum(p[i]) && p[i] != ' ' && p[i] != '_') return false;
  }
  return true;
}

}  // namespace

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

bool LooksLikeTrailer(int fd, int64_t at, int64_t fileSize) {
  uint8_t head[8];
  if (fileSize - at >= kId3v1Size && ReadAt(fd, head, 3, fileSize - kId3v1Size) &&
      std::memcmp(head, "TAG", 3) == 0) {
    return true;
  }
  // Chunks after an odd-sized one start one pad byte later.
  for (int64_t start : {at, at + 1}) {
    if (fileSize - start < 8 || !ReadAt(fd, head, sizeof head, start)) continue;
    if (std::memcmp(head, "ID3", 3) == 0 || std::memcmp(head, "TAG", 3) == 0) return true;
    if (IsKnownChunkId(head)) return true;
    // An unknown chunk, if its size fits what follows: samples rarely pass for one.
    if (IsIdLike(head) && U32(head + 4) <= static_cast<uint64_t>(fileSize - start - 8)) return true;
  }
  return false;
}

}  // namespace tg::riff
