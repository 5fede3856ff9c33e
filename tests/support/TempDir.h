#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tg::test {

// A fresh directory for one test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("tonegarden-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string Path() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Builds RIFF/WAVE files byte by byte, chunk by chunk.
class WavBuilder {
 public:
  WavBuilder& Chunk(const std::string& id, const std::vector<uint8_t>& data, bool pad = true) {
    Append(id);
    U32(static_cast<uint32_t>(data.size()));
    body_.insert(body_.end(), data.begin(), data.end());
    if (pad && data.size() % 2 == 1) body_.push_back(0);
    return *this;
  }
  WavBuilder& Fmt(uint16_t channels, uint32_t rate, uint16_t bits = 16, uint16_t tag = 1) {
    std::vector<uint8_t> f;
    auto put = [&f](uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const uint32_t frameBytes = channels * bits / 8u;
    put(tag, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * frameBytes, 4);
    put(frameBytes, 2);
    put(bits, 2);
    return Chunk("fmt ", f);
  }
  WavBuilder& Data16(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> d;
    for (int16_t s : samples) {
      d.push_back(static_cast<uint8_t>(s));
      d.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    return Chunk("data", d);
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out{'R', 'I', 'F', 'F'};
    const auto size = static_cast<uint32_t>(body_.size() + 4);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(size >> (8 * i)));
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
  }
  void WriteTo(const std::string& file) const { WriteBytes(file, Bytes()); }

 private:
  void Append(const std::string& id) { body_.insert(body_.end(), id.begin(), id.end()); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) body_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> body_;
};

}  // namespace tg::test
