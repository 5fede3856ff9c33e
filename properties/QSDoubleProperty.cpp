#include "properties/QSDoubleProperty.h"

#include <cmath>
#include <istream>

#include "properties/TextIO.h"

namespace tg {

void QSDoubleProperty::ReadFrom(std::istream& in) {
  double v = 0.0;
  if (textio::ReadDouble(in, v)) {
    if (std::isfinite(v)) {
      SetValue(v);
      return;
    }
    textio::Fail(in);
  }
  RaiseChanged();
}

void QSDoubleProperty::WriteTo(std::ostream& out) const { textio::WriteDouble(out, Value()); }

}  // namespace tg
