#pragma once

#include <string>
#include <string_view>

namespace tg::numberedit {

// The step derived from a range, and how many decimals to show with it.
struct AutoStep {
  double step = 1.0;
  int decimals = 1;
};
AutoStep AutomaticStep(double min, double max);
// Decimals to show a fixed step with: 1 for a whole step, one more for each
// further decimal place it needs.
int IncrementDecimals(double increment);
// The text shown for a value.
std::string Display(double value, bool integersOnly, int decimals);
// Whether a typed character may enter the field.
bool Accepts(char c, bool integersOnly, double min);

enum Status { kValid = 0, kUnreadable = 1, kRaisedToMin = 2, kLoweredToMax = 3 };
struct Parsed {
  Status status = kValid;
  double value = 0.0;
};
// Reads typed text: unreadable text, or text with more after the number, is
// kUnreadable; numbers outside the range are clamped and say so.
Parsed Parse(std::string_view text, double min, double max);
// The value after n steps (Ctrl: fine), rounded to the step and clamped.
double Step(double value, int n, double step, bool fine, bool integersOnly, double min, double max);

}  // namespace tg::numberedit
