#include "engine/midi/MidiTargetValues.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "properties/QSIntProperty.h"
#include "properties/QSRangeProperty.h"

namespace tg::miditargetvalues {

double ValueAt(const MidiTarget& t, double position) {
  if (t.boolean) return position >= 0.5 ? 1.0 : 0.0;
  double v =
      t.logarithmic
          ? std::exp(std::log(t.minimum) + (std::log(t.maximum) - std::log(t.minimum)) * position)
          : t.minimum + (t.maximum - t.minimum) * position;
  if (t.integral) v = std::round(v);
  return std::clamp(v, std::min(t.minimum, t.maximum), std::max(t.minimum, t.maximum));
}

double PositionOf(const MidiTarget& t, double value) {
  if (t.boolean) return value != 0.0 ? 1.0 : 0.0;
  double p = 0.0;
  if (t.logarithmic) {
    p = value > 0.0
            ? (std::log(value) - std::log(t.minimum)) / (std::log(t.maximum) - std::log(t.minimum))
            : 0.0;
  } else if (t.maximum != t.minimum) {
    p = (value - t.minimum) / (t.maximum - t.minimum);
  }
  return std::isfinite(p) ? std::clamp(p, 0.0, 1.0) : 0.0;
}

double CurrentValue(const MidiTarget& t) {
  switch (t.action) {
    case MidiTarget::Action::RangeLow:
      return t.range->Value().low;
    case MidiTarget::Action::RangeHigh:
      return t.range->Value().high;
    case MidiTarget::Action::Bit:
      return (static_cast<uint32_t>(t.bits->Value()) >> t.index) & 1u;
    case MidiTarget::Action::Value:
      return t.property->NumericValue().value_or(0.0);
    default:
      return 0.0;
  }
}

void SetValue(MidiTarget& t, double value) {
  switch (t.action) {
    case MidiTarget::Action::RangeLow:
    case MidiTarget::Action::RangeHigh: {
      FloatRange r = t.range->Value();
      const auto v = static_cast<float>(value);
      // The ends never cross, as the range slider keeps them.
      if (t.action == MidiTarget::Action::RangeLow) {
        r.low = std::min(v, r.high);
      } else {
        r.high = std::max(v, r.low);
      }
      t.range->SetValue(r);
      break;
    }
    case MidiTarget::Action::Bit: {
      const uint32_t mask = 1u << t.index;
      const auto bits = static_cast<uint32_t>(t.bits->Value());
      t.bits->SetValue(static_cast<int32_t>(value >= 0.5 ? bits | mask : bits & ~mask));
      break;
    }
    case MidiTarget::Action::Value:
      t.property->SetNumericValue(value);
      break;
    default:
      break;
  }
}

}  // namespace tg::miditargetvalues
