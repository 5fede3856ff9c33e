#pragma once

#include "properties/QSValueProperty.h"

namespace tg {

// Written "0" or "1"; reading any other number fails.
class QSBoolProperty : public QSValueProperty<bool, QSProperty::kBool, QSBoolProperty> {
 public:
  explicit QSBoolProperty(bool initial = false) : QSValueProperty(initial) {}
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;
};

}  // namespace tg
