#include "properties/TextIO.h"

#include <cctype>
#include <charconv>
#include <istream>
#include <limits>
#include <ostream>
#include <string_view>

#include "properties/NumberText.h"

namespace tg::textio {

namespace {

// Longer numbers than this are not numbers anybody wrote.
constexpr size_t kMaxNumberLength = 400;

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// peek() on a stream already at its end would fail it; this only reports the end.
int Peek(std::istream& in) { return in.good() ? in.peek() : std::char_traits<char>::eof(); }

// Takes a run of decimal digits into text; false when the run is too long.
bool TakeDigits(std::istream& in, std::string& text, int& count) {
  count = 0;
  while (IsDigit(Peek(in))) {
    if (text.size() >= kMaxNumberLength) return false;
    text.push_back(static_cast<char>(in.get()));
    ++count;
  }
  return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

bool ReadNonFinite(std::istream& in, bool negative, double& value) {
  std::string word;
  while (std::isalpha(Peek(in)) && word.size() < 8) word.push_back(static_cast<char>(in.get()));
  if (EqualsIgnoringCase(word, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (EqualsIgnoringCase(word, "inf") || EqualsIgnoringCase(word, "infinity")) {
    value = std::numeric_limits<double>::infinity();
  } else {
    return false;
  }
  if (negative) value = -value;
  return true;
}

}  // namespace

bool ReadChar(std::istream& in, char& c) { return static_cast<bool>(in >> std::ws >> c); }

void Fail(std::istream& in) { in.setstate(std::ios::failbit); }

bool ReadInt32(std::istream& in, int32_t& value) {
  if (!(in >> std::ws)) return false;
  std::string text;
  const int sign = Peek(in);
  if (sign == '+' || sign == '-') {
    in.get();
    if (sign == '-') text.push_back('-');
  }
  int digits = 0;
  if (!TakeDigits(in, text, digits) || digits == 0) {
    Fail(in);
    return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) {
    Fail(in);
    return false;
  }
  return true;
}

bool ReadDouble(std::istream& in, double& value) {
  if (!(in >> std::ws)) return false;
  std::string text;
  bool negative = false;
  const int sign = Peek(in);
  if (sign == '+' || sign == '-') {
    in.get();
    negative = sign == '-';
  }
  const int first = Peek(in);
  if (first == 'n' || first == 'N' || first == 'i' || first == 'I') {
    if (ReadNonFinite(in, negative, value)) return true;
    Fail(in);
    return false;
  }
  if (negative) text.push_back('-');
  int intDigits = 0;
  int fracDigits = 0;
  bool ok = TakeDigits(in, text, intDigits);
  if (ok && Peek(in) == '.') {
    text.push_back(static_cast<char>(in.get()));
    ok = TakeDigits(in, text, fracDigits);
  }
  if (ok && intDigits + fracDigits > 0 && (Peek(in) == 'e' || Peek(in) == 'E')) {
    text.push_back(static_cast<char>(in.get()));
    const int expSign = Peek(in);
    if (expSign == '+' || expSign == '-') text.push_back(static_cast<char>(in.get()));
    int expDigits = 0;
    ok = TakeDigits(in, text, expDigits) && expDigits > 0;
  }
  if (!ok || intDigits + fracDigits == 0) {
    Fail(in);
    return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: zero or infinity, as C has always read them.
    const bool tiny = text.find_first_of("123456789") == std::string::npos ||
                      text.find("e-") != std::string::npos || text.find("E-") != std::string::npos;
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    if (negative) value = -value;
    return true;
  }
  if (ec != std::errc() || end != text.data() + text.size()) {
    Fail(in);
    return false;
  }
  return true;
}

bool ReadToken(std::istream& in, std::string& token, size_t maxLength) {
  token.clear();
  if (!(in >> std::ws)) return false;
  bool tooLong = false;
  for (int c = Peek(in); c != std::char_traits<char>::eof() && !std::isspace(c); c = Peek(in)) {
    in.get();
    if (token.size() < maxLength) {
      token.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
  }
  if (tooLong) {
    Fail(in);
    return false;
  }
  return !token.empty();
}

ListStart OpenList(std::istream& in) {
  char c = 0;
  if (!ReadChar(in, c)) return ListStart::Failed;
  if (c != '{') {
    Fail(in);
    return ListStart::Failed;
  }
  if (!ReadChar(in, c)) return ListStart::Failed;
  if (c == '}') return ListStart::Empty;
  in.putback(c);
  return ListStart::Values;
}

void ReadListValues(std::istream& in, int count, const std::function<void(int)>& readValue) {
  char c = 0;
  if (!ReadChar(in, c)) return;
  int p = 0;
  while (c != '}' && p < count) {
    in.putback(c);
    readValue(p);
    if (!ReadChar(in, c)) return;
    ++p;
    if (c == ',') {
      if (!ReadChar(in, c)) return;
    } else if (c != '}') {
      Fail(in);
      return;
    }
  }
  while (c != '}') {
    if (!ReadChar(in, c)) return;
  }
}

std::string FormatDouble(double value) { return numbertext::General(value, 6); }

void WriteDouble(std::ostream& out, double value) { out << FormatDouble(value); }

}  // namespace tg::textio
