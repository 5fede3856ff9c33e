#include "controls/ValueScale.h"

#include <cmath>

namespace tg {

namespace {
double Log(double v, ValueScale scale) {
  return scale == ValueScale::Octave ? std::log2(v) : std::log10(v);
}
double Exp(double v, ValueScale scale) {
  return scale == ValueScale::Octave ? std::exp2(v) : std::pow(10.0, v);
}
// Logarithmic laws need a range above zero; anything else falls back to linear.
bool Logarithmic(double lo, double hi, ValueScale scale) {
  return scale != ValueScale::Linear && lo > 0 && hi > 0;
}
}  // namespace

double ValueAtPosition(double p, double lo, double hi, ValueScale scale) {
  if (p <= 0.0) return lo;  // the ends exactly, whatever the law's rounding
  if (p >= 1.0) return hi;
  if (!Logarithmic(lo, hi, scale)) return lo + (hi - lo) * p;
  return Exp(Log(lo, scale) + (Log(hi, scale) - Log(lo, scale)) * p, scale);
}

double PositionOfValue(double v, double lo, double hi, ValueScale scale) {
  if (v >= hi) return 1.0;
  if (v <= lo || hi == lo || v != v) return 0.0;
  if (!Logarithmic(lo, hi, scale)) return (v - lo) / (hi - lo);
  return (Log(v, scale) - Log(lo, scale)) / (Log(hi, scale) - Log(lo, scale));
}

}  // namespace tg
