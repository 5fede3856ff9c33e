#include "properties/QS8CharsProperty.h"

#include <istream>
#include <ostream>
#include <string>

#include "properties/TextIO.h"

namespace tg {

void QS8CharsProperty::ReadFrom(std::istream& in) {
  EightChars chars{};
  for (int8_t& c : chars) {
    int32_t v = 0;
    if (!textio::ReadInt32(in, v)) {
      RaiseChanged();
      return;
    }
    c = static_cast<int8_t>(static_cast<uint8_t>(v & 0xFF));  // each value keeps its low byte
  }
  SetValue(chars);
}

void QS8CharsProperty::WriteTo(std::ostream& out) const {
  for (int8_t c : Value()) out << std::to_string(c) << ' ';
}

}  // namespace tg
