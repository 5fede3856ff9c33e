// Any bytes as a file to append to: a refused file must stay exactly as it
// was; an accepted one must read and write within its data.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "files/wavefiles/TGWaveOutFile.h"
#include "fuzz/FuzzFile.h"

using namespace tg;

namespace {
std::vector<uint8_t> Contents(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = FuzzInputAsFile(data, size);
  const std::vector<uint8_t> before(data, data + size);
  // The last byte picks the format asked for, so mono and other rates are tried.
  const uint8_t pick = size > 0 ? data[size - 1] : 0;
  const int16_t channels = static_cast<int16_t>(1 + (pick & 1));
  const int32_t rate = (pick & 2) ? 22050 : 44100;
  {
    TGWaveOutFile file(name, rate, channels, false);
    if (!file.IsOpen()) {
      if (Contents(name) != before) std::abort();
      return 0;
    }
    std::vector<int16_t> buffer(static_cast<size_t>(512 * channels));
    file.Read(buffer.data(), 512);
    if (file.Position() > file.Length()) std::abort();
    file.Seek(file.Length() / 2);
    file.Read(buffer.data(), 512);
    file.Seek(file.Length());
    if (file.Write(buffer.data(), 64) != 64) std::abort();
    if (file.Length() < 64) std::abort();
  }
  // What was written reads back as a file of the same format.
  TGWaveOutFile again(name, rate, channels, false);
  if (!again.IsOpen() || again.Length() < 64) std::abort();
  return 0;
}
