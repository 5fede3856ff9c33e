#pragma once

#include "framework/properties/QSValueProperty.h"

namespace tg {

struct FloatRange {
  float low = 0.0f;
  float high = 0.0f;
  friend bool operator==(const FloatRange&, const FloatRange&) = default;
};

// A low/high pair kept in one atomic word, so the audio thread never sees a
// low from one edit with the high of another.
class QSRangeProperty : public QSValueProperty<FloatRange, QSProperty::kRange, QSRangeProperty> {
 public:
  explicit QSRangeProperty(FloatRange initial = {}) : QSValueProperty(initial) {}
  QSRangeProperty(float low, float high) : QSValueProperty(FloatRange{low, high}) {}
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;
};

}  // namespace tg
