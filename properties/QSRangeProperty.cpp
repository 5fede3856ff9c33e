#include "properties/QSRangeProperty.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "properties/TextIO.h"

namespace tg {

namespace {

bool ReadFiniteFloat(std::istream& in, float& value) {
  double v = 0.0;
  if (!textio::ReadDouble(in, v)) return false;
  value = static_cast<float>(v);
  if (std::isfinite(value)) return true;
  textio::Fail(in);
  return false;
}

}  // namespace

void QSRangeProperty::ReadFrom(std::istream& in) {
  FloatRange r;
  if (ReadFiniteFloat(in, r.low) && ReadFiniteFloat(in, r.high)) {
    SetValue(r);
  } else {
    RaiseChanged();
  }
}

void QSRangeProperty::WriteTo(std::ostream& out) const {
  const FloatRange r = Value();
  textio::WriteDouble(out, r.low);
  out << ' ';
  textio::WriteDouble(out, r.high);
}

}  // namespace tg
