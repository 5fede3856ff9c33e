#include "properties/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tg::numbertext {

namespace {

std::string Chars(double value, std::chars_format format, int precision) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return ec == std::errc() ? std::string(buffer, end) : std::string();
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Fixed(double value, int decimals) {
  return Chars(value, std::chars_format::fixed, std::clamp(decimals, 0, 30));
}

std::string Shortest(double value) {
  if (!std::isfinite(value)) return Chars(value, std::chars_format::general, 6);
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::string General(double value, int significantDigits) {
  return Chars(value, std::chars_format::general, std::clamp(significantDigits, 1, 17));
}

std::optional<double> Parse(std::string_view text, bool commaIsPoint) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::string digits(text);
  if (commaIsPoint && digits.find('.') == std::string::npos &&
      std::count(digits.begin(), digits.end(), ',') == 1) {
    std::replace(digits.begin(), digits.end(), ',', '.');
  }
  // from_chars takes neither a leading "+" nor a bare sign before "inf".
  std::string_view rest = digits;
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  if (rest.empty() || rest.front() == '+' || rest.front() == '-') return std::nullopt;
  double value = 0.0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (end != rest.data() + rest.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    const bool tiny = rest.find_first_of("123456789") == std::string_view::npos ||
                      rest.find("e-") != std::string_view::npos ||
                      rest.find("E-") != std::string_view::npos;
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace tg::numbertext
