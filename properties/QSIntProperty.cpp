#include "properties/QSIntProperty.h"

#include <istream>
#include <ostream>

#include "properties/TextIO.h"

namespace tg {

void QSIntProperty::ReadFrom(std::istream& in) {
  int32_t v = 0;
  if (textio::ReadInt32(in, v)) {
    SetValue(v);
  } else {
    RaiseChanged();
  }
}

void QSIntProperty::WriteTo(std::ostream& out) const { out << std::to_string(Value()); }

}  // namespace tg
