#include "controls/NumberEditLogic.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "properties/NumberText.h"

namespace tg::numberedit {

namespace {

// The value's full text: 15 significant digits, so that the noise of binary
// fractions (1.5500000000000003) does not show.
std::string Shortest(double value) { return numbertext::General(value, 15); }

// To the nearest multiple of s; a remainder of exactly half a step rounds toward zero.
double RoundToStep(double r, double s) {
  if (!(s > 0.0)) return r;
  const double q = r / s;
  const double below = std::floor(q);
  const double fraction = q - below;
  double k = below;
  if (fraction > 0.5) {
    k = below + 1.0;
  } else if (fraction == 0.5) {
    k = q > 0.0 ? below : below + 1.0;
  }
  return k * s;
}

}  // namespace

AutoStep AutomaticStep(double min, double max) {
  const double a = (max - min) / 140.0;
  AutoStep result;
  if (!(a > 0.0) || !std::isfinite(a)) return result;
  if (a > 1.0) {
    double d = 1.0;
    while (a * d > 1.0) d /= 10.0;
    const double c = a * d;
    result.step = (c >= 0.5 ? 1.0 : c >= 0.2 ? 0.5 : 0.2) / d;
    return result;
  }
  double d = 1.0;
  int decimals = 1;
  while (a * d < 0.1 && decimals < 15) {
    d *= 10.0;
    ++decimals;
  }
  const double c = a * d;
  if (c >= 0.5) {
    result.step = 1.0 / d;
    --decimals;
  } else {
    result.step = (c >= 0.2 ? 0.5 : 0.2) / d;
  }
  result.decimals = decimals + 1;
  return result;
}

int IncrementDecimals(double increment) {
  int decimals = 1;
  const double magnitude = std::abs(increment);
  while (decimals < 12) {
    const double scaled = magnitude * std::pow(10.0, decimals);
    if (std::abs(scaled - std::round(scaled)) < 1e-9 * std::max(1.0, scaled)) break;
    ++decimals;
  }
  return decimals;
}

std::string Display(double value, bool integersOnly, int decimals) {
  std::string full = Shortest(value);
  if (integersOnly) return full;
  std::string fixed = numbertext::Fixed(value, decimals);
  return fixed.size() < full.size() ? full : fixed;
}

bool Accepts(char c, bool integersOnly, double min) {
  if ((c >= '0' && c <= '9') || c == '\b') return true;
  if (min < 0 && (c == '+' || c == '-')) return true;
  // A German keypad's decimal key types ",".
  return !integersOnly && (c == '.' || c == ',');
}

Parsed Parse(std::string_view text, double min, double max) {
  Parsed result;
  const std::optional<double> read = numbertext::Parse(text, true);
  if (!read || !std::isfinite(*read)) {
    result.status = kUnreadable;
    return result;
  }
  double v = *read;
  if (v > max) {
    result.status = kLoweredToMax;
    v = max;
  } else if (v < min) {
    result.status = kRaisedToMin;
    v = min;
  }
  result.value = v;
  return result;
}

double Step(double value, int n, double step, bool fine, bool integersOnly, double min,
            double max) {
  double c = n * step;
  if (fine) c *= 0.1;
  if (integersOnly && c > -1.0 && c < 1.0) c = n;
  const double r = RoundToStep(value + c, std::abs(c));
  return std::clamp(r, min, max);
}

}  // namespace tg::numberedit
