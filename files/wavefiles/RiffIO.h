#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tg::riff {

// Little-endian fields of RIFF files, whatever the machine's byte order.
inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }
// Writes a four-character chunk id (no terminating NUL).
inline void PutId(uint8_t* p, const char* id) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(id[i]);
}

// Reads exactly size bytes at offset; false on an error or the end of the file.
bool ReadAt(int fd, void* data, size_t size, int64_t offset);
// Walks the chunks of a RIFF file from offset at (just after a chunk) to the
// next chunk with this id, skipping others (odd sizes padded to even). On
// success at is the offset of the chunk's data, size its size and sizeAt the
// offset of its size field.
bool FindChunk(int fd, int64_t& at, const char* id, uint32_t& size, int64_t& sizeAt);
// Whether the file starts "RIFF" … "WAVE"; the chunks then start at offset 12.
bool IsRiffWave(int fd);
// Whether the bytes from offset at to the end of the file look like what
// other programs put after the samples (an ID3 tag, a "TAG" trailer, RIFF
// chunks such as "LIST" or "id3 ") rather than more samples.
bool LooksLikeTrailer(int fd, int64_t at, int64_t fileSize);

}  // namespace tg::riff
