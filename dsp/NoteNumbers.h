#pragma once

#include <string>

namespace tg {

// The program's note numbering: key 69 is the A of 440 Hz, 12 keys an octave.
double KeyFrequency(int key);
// The key nearest to a frequency.
int NearestKey(double hz);
// Whether a frequency is exactly (within 0.05 %) that key's note.
bool IsExactNote(double hz, int key);
// "c5" for key 60, "a5" for key 69.
std::string NoteName(int key);

}  // namespace tg
