#include "framework/QSPreset.h"

#include <istream>
#include <ostream>

#include "properties/TextIO.h"

namespace tg {

void QSPreset::CloneCurrentValues() {
  values_.clear();
  for (int i = 0; i < table_->Count(); ++i) values_.push_back(table_->PropertyAt(i).Clone());
  isSet_ = true;
}

void QSPreset::Store() {
  if (!isSet_) {
    CloneCurrentValues();
    return;
  }
  for (int i = 0; i < ValueCount(); ++i)
    values_[static_cast<size_t>(i)]->AssignFrom(table_->PropertyAt(i));
}

void QSPreset::Recall() {
  if (!isSet_) return;
  // A state (where a file stands, whether it plays) is the processor's to
  // keep up to date; a stored copy of it would only be wrong.
  for (int i = 0; i < ValueCount(); ++i) {
    if (!table_->InfoAt(i).isState)
      table_->PropertyAt(i).AssignFrom(*values_[static_cast<size_t>(i)]);
  }
}

void QSPreset::Clear() {
  values_.clear();
  isSet_ = false;
}

void QSPreset::AssignFrom(const QSPreset& other) {
  values_.clear();
  for (const auto& value : other.values_) values_.push_back(value->Clone());
  isSet_ = other.isSet_;
}

void QSPreset::WriteTo(std::ostream& out) const {
  out << "{ ";
  for (int i = 0; i < ValueCount(); ++i) {
    if (i > 0) out << ", ";
    values_[static_cast<size_t>(i)]->WriteTo(out);
  }
  out << " }";
}

void QSPreset::ReadFrom(std::istream& in) {
  switch (textio::OpenList(in)) {
    case textio::ListStart::Failed:
      return;
    case textio::ListStart::Empty:
      Clear();
      return;
    case textio::ListStart::Values:
      // Values the text leaves out keep the current parameter values.
      if (!isSet_) CloneCurrentValues();
      textio::ReadListValues(in, ValueCount(), [&](int p) {
        values_[static_cast<size_t>(p)]->ReadFrom(in);
        HoldToRange(*values_[static_cast<size_t>(p)], table_->InfoAt(p));
      });
      return;
  }
}

}  // namespace tg
