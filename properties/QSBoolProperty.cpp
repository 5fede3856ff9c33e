#include "properties/QSBoolProperty.h"

#include <istream>
#include <ostream>

#include "properties/TextIO.h"

namespace tg {

void QSBoolProperty::ReadFrom(std::istream& in) {
  int32_t v = 0;
  if (textio::ReadInt32(in, v)) {
    if (v == 0 || v == 1) {
      SetValue(v == 1);
      return;
    }
    textio::Fail(in);
  }
  RaiseChanged();
}

void QSBoolProperty::WriteTo(std::ostream& out) const { out << (Value() ? "1" : "0"); }

}  // namespace tg
