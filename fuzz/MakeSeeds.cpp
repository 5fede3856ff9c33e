// Writes a few valid files of each kind the fuzz targets read, as their
// starting corpus (no binary files live in the repository).
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "files/wavefiles/TGWaveOutFile.h"

namespace {

void WriteSndfile(const std::string& name, int format, int rate, int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(name.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return;
  std::vector<float> frames(static_cast<size_t>(300 * channels));
  for (size_t i = 0; i < frames.size(); ++i)
    frames[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
  sf_writef_float(f, frames.data(), 300);
  sf_close(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string readerDir = argv[1], waveOutDir = argv[2], itemDir = argv[3];
  WriteSndfile(readerDir + "/pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2);
  WriteSndfile(readerDir + "/pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 22050, 1);
  WriteSndfile(readerDir + "/float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2);
  WriteSndfile(readerDir + "/pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 1);
  WriteSndfile(readerDir + "/pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2);
  for (int channels = 1; channels <= 2; ++channels) {
    const std::string name = waveOutDir + "/take" + std::to_string(channels) + ".wav";
    tg::TGWaveOutFile file(name, 44100, static_cast<int16_t>(channels), true);
    std::vector<int16_t> samples(static_cast<size_t>(200 * channels), 1234);
    file.Write(samples.data(), 200);
  }
  std::ofstream(itemDir + "/soundout.txt") << "SoundOut\tSoundOut\t{ \"take.wav\", 0, 1, 0, 300 "
                                              "}\t{ {  }, { \"a\\\"b\", 2, 0, 1, 5 }, {  } }"
                                              "{ }{ 40 30 F Z Z 10 20 Z Z Z Z  }\t\n";
  std::ofstream(itemDir + "/soundin.txt") << "SoundIn\tSoundIn\t{ 1, \"\", 0, 0, 0, 500, 1, 0, 0 "
                                             "}\t{ {  } }{ }{ 1 2 T Z Z 3 4 Z Z Z Z  }\n";
  return 0;
}
