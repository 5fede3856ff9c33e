#include "framework/properties/QSCStringProperty.h"

#include <istream>
#include <ostream>
#include <utility>

#include "framework/properties/TextIO.h"

namespace tg {

void QSCStringProperty::SetValue(std::string_view text) {
  if (text == text_) return;
  text_.assign(text);
  RaiseChanged();
  TellChange();
}

std::unique_ptr<QSProperty> QSCStringProperty::Clone() const {
  auto copy = std::make_unique<QSCStringProperty>(text_);
  copy->CopyReservedFlagFrom(*this);
  return copy;
}

void QSCStringProperty::AssignFrom(const QSProperty& other) {
  if (other.KindCode() != KindCode()) return;
  if (const auto* same = dynamic_cast<const QSCStringProperty*>(&other)) CopyFrom(*same);
}

void QSCStringProperty::ReadFrom(std::istream& in) {
  RaiseChanged();
  char c = 0;
  if (!textio::ReadChar(in, c)) return;
  if (c != '"') {
    textio::Fail(in);
    return;
  }
  // Longer texts are cut; the rest up to the closing quote is still consumed
  // so that whatever follows is read in step.
  std::string collected;
  for (;;) {
    int ch = in.get();
    if (ch == '"') break;
    if (ch == '\\') ch = in.get();
    if (ch == std::char_traits<char>::eof()) {
      textio::Fail(in);  // unterminated: the old text stays
      return;
    }
    if (collected.size() < kMaxLength) collected.push_back(static_cast<char>(ch));
  }
  text_ = std::move(collected);
  RaiseChanged();
  TellChange();
}

void QSCStringProperty::WriteTo(std::ostream& out) const {
  out << '"';
  for (char c : text_) {
    if (c == '\\' || c == '"') out << '\\';
    out << c;
  }
  out << '"';
}

}  // namespace tg
