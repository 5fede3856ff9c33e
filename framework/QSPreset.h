#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "properties/QSPropertyTable.h"

namespace tg {

// A stored copy of all parameter values of one processor. UI thread only.
class QSPreset {
 public:
  explicit QSPreset(QSPropertyTable& table) : table_(&table) {}
  QSPreset(const QSPreset&) = delete;
  QSPreset& operator=(const QSPreset&) = delete;

  bool IsSet() const { return isSet_; }
  // Copies the current parameter values into the preset.
  void Store();
  // Makes the stored values current (raising each property's changed flag),
  // except the states the processor keeps.
  void Recall();
  void Clear();
  // Becomes a copy of another preset of the same processor.
  void AssignFrom(const QSPreset& other);
  // "{ v, v, … }"; an empty preset writes "{ " directly followed by " }".
  void WriteTo(std::ostream& out) const;
  // Reads that form; values missing from the text keep the current parameter
  // values, and "{ }" empties the preset.
  void ReadFrom(std::istream& in);

  int ValueCount() const { return static_cast<int>(values_.size()); }
  const QSProperty& ValueAt(int i) const { return *values_[static_cast<size_t>(i)]; }

 private:
  void CloneCurrentValues();

  QSPropertyTable* table_;
  bool isSet_ = false;
  std::vector<std::unique_ptr<QSProperty>> values_;
};

}  // namespace tg
