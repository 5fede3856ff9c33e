#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "properties/NumberText.h"

namespace tg {
namespace number_text_test {

using namespace numbertext;

// Run again under a German locale by the tests' own leg: the C library then
// writes "0,5", and the program's number text must not follow it.
TEST(NumberTextTest, NumbersAreWrittenAndReadWithAPointInAnyLocale) {
  char c[16];
  std::snprintf(c, sizeof c, "%.1f", 0.5);
  RecordProperty("localeWrites", c);

  EXPECT_EQ(Fixed(0.5, 1), "0.5");
  EXPECT_EQ(Fixed(-1234.5678, 2), "-1234.57");
  EXPECT_EQ(Fixed(120.0, 1), "120.0");
  EXPECT_EQ(General(440.125, 10), "440.125");
  EXPECT_EQ(General(1e-7, 6), "1e-07");
  EXPECT_EQ(Shortest(0.1), "0.1");
  EXPECT_EQ(Fixed(NAN, 2), "nan");

  const auto read = [](const char* text, bool comma = false) { return Parse(text, comma); };
  EXPECT_EQ(read("0.25"), 0.25);
  EXPECT_EQ(read(" +0.9 "), 0.9);
  EXPECT_EQ(read("-1e3"), -1000.0);
  EXPECT_EQ(read("0,25"), std::nullopt) << "a comma is a point only where a person types";
  EXPECT_EQ(read("0,25", true), 0.25);
  EXPECT_EQ(read("1e999"), INFINITY);
  for (const char* bad : {"", "-", ".", "1e", "12x", "1,2,3", "+-1", "- 1"}) {
    EXPECT_EQ(read(bad, true), std::nullopt) << bad;
  }
}

}  // namespace number_text_test
}  // namespace tg
