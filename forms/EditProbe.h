#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "properties/QSIntProperty.h"
#include "properties/QSProperty.h"

namespace tg {

// Which parameter a control of a contraption window edits, found by asking
// the control to edit while a probe lives: the window's edits are then noted
// here instead of made. A control that sets a pattern names the one bit it
// would flip. UI thread only.
class EditProbe {
 public:
  struct Heard {
    const QSProperty* property = nullptr;
    int bit = -1;  // a pattern's single flipped bit, else -1
  };

  EditProbe() : outer_(active_) { active_ = this; }
  ~EditProbe() { active_ = outer_; }
  EditProbe(const EditProbe&) = delete;
  EditProbe& operator=(const EditProbe&) = delete;

  static EditProbe* Active() { return active_; }

  template <typename Property, typename Value>
  void Note(const Property& property, const Value& value) {
    Heard heard{&property, -1};
    if constexpr (std::is_base_of_v<QSIntProperty, Property> && std::is_integral_v<Value>) {
      const auto flipped = static_cast<uint32_t>(property.Value()) ^ static_cast<uint32_t>(value);
      if (std::popcount(flipped) == 1) heard.bit = std::countr_zero(flipped);
    }
    heard_.push_back(heard);
  }
  const std::vector<Heard>& All() const { return heard_; }

 private:
  inline static EditProbe* active_ = nullptr;
  EditProbe* outer_ = nullptr;
  std::vector<Heard> heard_;
};

}  // namespace tg
