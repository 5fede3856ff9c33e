#include "properties/QSCStringProperty.h"

#include <istream>
#include <ostream>
#include <utility>

#include "properties/SoundFileNames.h"
#include "properties/TextIO.h"

namespace tg {

std::string QSCStringProperty::KeptText(std::string text) const {
  return namesSoundFile_ ? soundfilenames::Kept(text) : text;
}

void QSCStringProperty::SetValue(std::string_view text) {
  std::string kept = KeptText(std::string(text));
  if (kept == text_) return;
  text_ = std::move(kept);
  RaiseChanged();
  TellChange();
}

std::unique_ptr<QSProperty> QSCStringProperty::Clone() const {
  auto copy = std::make_unique<QSCStringProperty>(text_);
  copy->namesSoundFile_ = namesSoundFile_;
  copy->writesSoundFile_ = writesSoundFile_;
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
  text_ = KeptText(std::move(collected));
  RaiseChanged();
  TellChange();
}

void QSCStringProperty::WriteTo(std::ostream& out) const {
  const std::string text = namesSoundFile_ ? soundfilenames::Written(text_) : text_;
  out << '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out << '\\';
    out << c;
  }
  out << '"';
}

}  // namespace tg
