#pragma once

#include <array>
#include <cstdint>

#include "properties/QSValueProperty.h"

namespace tg {

using EightChars = std::array<int8_t, 8>;

// Eight small integers in one word, written each followed by a space.
class QS8CharsProperty : public QSValueProperty<EightChars, QSProperty::k8Chars, QS8CharsProperty> {
 public:
  explicit QS8CharsProperty(EightChars initial = {}) : QSValueProperty(initial) {}
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;
};

}  // namespace tg
