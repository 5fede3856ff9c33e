#include "framework/TContraptionMaker.h"

#include <utility>

#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"

namespace tg {

int InstanceNumberOf(std::string_view name) {
  size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' &&
         name[name.size() - 1 - digits] <= '9') {
    ++digits;
  }
  if (digits == 0 || digits > 9 || digits == name.size()) return 0;
  if (name[name.size() - 1 - digits] != '_') return 0;
  int number = 0;
  for (char c : name.substr(name.size() - digits)) number = number * 10 + (c - '0');
  return number;
}

TContraptionMaker::TContraptionMaker(std::string typeName, std::string category, int helpNumber,
                                     bool singleInstance)
    : typeName_(std::move(typeName)),
      category_(std::move(category)),
      helpNumber_(helpNumber),
      singleInstance_(singleInstance) {}

bool TContraptionMaker::IsNumberUsed(int number) const {
  if (number < 1 || number > kMaxInstanceNumber) return false;
  const int bit = number - 1;
  return (usedNumbers_[static_cast<size_t>(bit / 32)] >> (bit % 32) & 1u) != 0;
}

void TContraptionMaker::MarkNumber(int number, bool used) {
  if (number < 1 || number > kMaxInstanceNumber) return;
  const int bit = number - 1;
  uint32_t& word = usedNumbers_[static_cast<size_t>(bit / 32)];
  const uint32_t mask = 1u << (bit % 32);
  word = used ? (word | mask) : (word & ~mask);
}

int TContraptionMaker::TakeLowestFreeNumber() {
  for (int number = 1; number <= kMaxInstanceNumber; ++number) {
    // A contraption of another type may have been given the name.
    if (!IsNumberUsed(number) &&
        (factory_ == nullptr ||
         factory_->FindContraption(typeName_ + "_" + std::to_string(number)) == nullptr)) {
      MarkNumber(number, true);
      return number;
    }
  }
  return 0;  // every number is taken
}

std::string TContraptionMaker::Register(TGardeningContraption& contraption, std::string_view name) {
  std::string settled(name);
  if (singleInstance_) {
    instance_ = &contraption;
    if (settled.empty()) settled = typeName_;
  } else if (settled.empty()) {
    settled = typeName_ + "_" + std::to_string(TakeLowestFreeNumber());
  } else {
    MarkNumber(InstanceNumberOf(settled), true);
  }
  if (factory_ != nullptr) factory_->contraptions_.push_back(&contraption);
  return settled;
}

void TContraptionMaker::Renamed(std::string_view from, std::string_view to) {
  if (singleInstance_) return;
  MarkNumber(InstanceNumberOf(from), false);
  MarkNumber(InstanceNumberOf(to), true);
}

void TContraptionMaker::Unregister(TGardeningContraption& contraption) {
  if (singleInstance_) {
    if (instance_ == &contraption) instance_ = nullptr;
  } else {
    MarkNumber(InstanceNumberOf(contraption.Name()), false);
  }
  if (factory_ != nullptr) factory_->Forget(contraption);
}

}  // namespace tg
