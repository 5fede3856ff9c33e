#include "framework/QSPreset.h"

#include <istream>
#include <ostream>

#include "framework/properties/TextIO.h"

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
  for (int i = 0; i < ValueCount(); ++i) values_[static_cast<size_t>(i)]->AssignFrom(table_->PropertyAt(i));
}

void QSPreset::Recall() {
  if (!isSet_) return;
  for (int i = 0; i < ValueCount(); ++i) table_->PropertyAt(i).AssignFrom(*values_[static_cast<size_t>(i)]);
}

void QSPreset::Clear() {
  values_.clear();
  isSet_ = false;
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
  char c = 0;
  if (!textio::ReadChar(in, c)) return;
  if (c != '{') {
    textio::Fail(in);
    return;
  }
  if (!textio::ReadChar(in, c)) return;
  if (c == '}') {
    Clear();
    return;
  }
  if (!isSet_) CloneCurrentValues();
  int p = 0;
  while (c != '}' && p < ValueCount()) {
    in.putback(c);
    values_[static_cast<size_t>(p)]->ReadFrom(in);
    if (!textio::ReadChar(in, c)) return;
    ++p;
    if (c == ',') {
      if (!textio::ReadChar(in, c)) return;
    } else if (c != '}') {
      textio::Fail(in);
      return;
    }
  }
  // Values beyond the table's own are skipped up to the closing brace.
  while (c != '}') {
    if (!textio::ReadChar(in, c)) return;
  }
}

}  // namespace tg
