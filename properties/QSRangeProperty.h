#pragma once

#include "properties/QSValueProperty.h"

namespace tg {

struct FloatRange {
  float low = 0.0f;
  float high = 0.0f;
  friend bool operator==(const FloatRange&, const FloatRange&) = default;
};

struct DoubleRange {
  double low = 0.0;
  double high = 0.0;
  double Mean() const { return low + (high - low) / 2.0; }
};

// A low/high pair kept in one atomic word, so the audio thread never sees a
// low from one edit with the high of another.
class QSRangeProperty : public QSValueProperty<FloatRange, QSProperty::kRange, QSRangeProperty> {
 public:
  explicit QSRangeProperty(FloatRange initial = {}) : QSValueProperty(initial) {}
  QSRangeProperty(float low, float high) : QSValueProperty(FloatRange{low, high}) {}
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;
  // Both ends as processing should use them: within lo … hi, also for what a
  // hand-edited document holds; not a number gives lo.
  DoubleRange ValueWithin(double lo, double hi) const {
    const FloatRange v = Value();
    const auto in = [lo, hi](double x) { return x >= lo ? (x < hi ? x : hi) : lo; };
    return {in(v.low), in(v.high)};
  }
};

}  // namespace tg
