#pragma once

#include <cstdint>

#include "properties/QSValueProperty.h"

namespace tg {

class QSIntProperty : public QSValueProperty<int32_t, QSProperty::kInt, QSIntProperty> {
 public:
  explicit QSIntProperty(int32_t initial = 0) : QSValueProperty(initial) {}
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;
};

}  // namespace tg
