#include "dsp/NoteNumbers.h"

#include <cmath>

namespace tg {

double KeyFrequency(int key) { return std::pow(2.0, key / 12.0 + 3.0) * 1.021975; }

int NearestKey(double hz) {
  if (!(hz > 0.0)) return 0;
  return static_cast<int>((std::log2(hz * 0.9784975170625504) - 3.0) * 12.0 + 0.5);
}

bool IsExactNote(double hz, int key) { return std::abs(hz - KeyFrequency(key)) < 0.0005 * hz; }

std::string NoteName(int key) {
  static const char* const kNames[12] = {"c",  "c#", "d",  "d#", "e",  "f",
                                         "f#", "g",  "g#", "a",  "a#", "b"};
  const int octave = key >= 0 ? key / 12 : (key - 11) / 12;
  const int pitch = key - octave * 12;
  return std::string(kNames[pitch]) + std::to_string(octave);
}

}  // namespace tg
