// Any bytes as a sound file: reading its format, loading it into a table and
// streaming it frame by frame must neither crash nor hang.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "dsp/QSFunctionTable.h"
#include "files/wavefiles/SoundFileReader.h"
#include "fuzz/FuzzFile.h"

using namespace tg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = FuzzInputAsFile(data, size);
  const WaveInfo info = ReadWaveInfo(name);

  QSFunctionTable table(2048);
  LoadWaveIntoTable(table, name);
  for (int i = 0; i <= table.Size(); ++i) {
    if (!std::isfinite(table[i])) std::abort();
  }

  SoundFileReader reader;
  if (reader.Open(name)) {
    if (reader.Info().valid != info.valid) std::abort();
    std::vector<int16_t> frames(static_cast<size_t>(256 * reader.Info().channels));
    for (int block = 0; block < 64; ++block) {
      if (reader.ReadFrames16(frames.data(), 256) <= 0) break;
    }
    reader.SeekFrame(reader.Info().frames / 2);
    reader.ReadFrames16(frames.data(), 256);
  }
  return 0;
}
