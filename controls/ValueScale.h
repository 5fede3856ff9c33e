#pragma once

namespace tg {

// How a control's position p in [0, 1] maps to its value between lo and hi.
enum class ValueScale { Linear, Logarithmic, Octave };

double ValueAtPosition(double p, double lo, double hi, ValueScale scale);
// The position of a value inside [lo, hi] (values outside pin to the ends).
double PositionOfValue(double v, double lo, double hi, ValueScale scale);

}  // namespace tg
