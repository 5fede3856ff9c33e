#pragma once

#include "properties/QSValueProperty.h"

namespace tg {

// Written with 6 significant digits. Reading "nan" or "inf" fails: such a
// value would silence or wreck everything downstream of the processor.
class QSDoubleProperty : public QSValueProperty<double, QSProperty::kDouble, QSDoubleProperty> {
 public:
  explicit QSDoubleProperty(double initial = 0.0) : QSValueProperty(initial) {}
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;
  // The value as processing should use it: within lo … hi, so that a
  // hand-edited document cannot push a filter or a loop out of bounds. Not a
  // number gives lo.
  double ValueWithin(double lo, double hi) const {
    const double v = Value();
    return v >= lo ? (v < hi ? v : hi) : lo;
  }
};

}  // namespace tg
