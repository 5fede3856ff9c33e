#include <gtest/gtest.h>

#include <cmath>
#include <locale>
#include <sstream>
#include <string>

#include "properties/QS8CharsProperty.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"
#include "properties/QSRangeProperty.h"
#include "properties/TextIO.h"

namespace tg {
namespace property_test {

std::string Written(const QSProperty& p) {
  std::ostringstream out;
  p.WriteTo(out);
  return out.str();
}

// Reads text into p; answers whether the stream is still good (or only at its end).
bool Read(QSProperty& p, const std::string& text) {
  std::istringstream in(text);
  p.ReadFrom(in);
  return !in.fail();
}

TEST(PropertyTest, KindCodesAndTheFlagOfANewProperty) {
  QSBoolProperty b;
  QSIntProperty i;
  QSDoubleProperty d;
  QSRangeProperty r;
  QSCStringProperty s;
  QS8CharsProperty c;
  const QSProperty* all[] = {&b, &i, &d, &r, &s, &c};
  const uint16_t kinds[] = {0, 1, 2, 3, 5, 6};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(all[k]->KindCode(), kinds[k]);
    EXPECT_TRUE(all[k]->IsChanged());
    EXPECT_EQ(all[k]->HeaderWord() & QSProperty::kReservedBit, 0);
  }
}

TEST(PropertyTest, TakeChangedClearsOnceAndSettersRaiseAgain) {
  QSDoubleProperty d(1.0);
  EXPECT_TRUE(d.TakeChanged());
  EXPECT_FALSE(d.TakeChanged());
  d.SetValue(2.0);
  EXPECT_TRUE(d.TakeChanged());
  QSDoubleProperty other(3.0);
  d.CopyFrom(other);
  EXPECT_TRUE(d.TakeChanged());
  EXPECT_EQ(d.Value(), 3.0);
  EXPECT_FALSE(Read(d, "x"));
  EXPECT_TRUE(d.TakeChanged());  // even a failed read raises it
  EXPECT_EQ(d.Value(), 3.0);
}

TEST(PropertyTest, WrittenForms) {
  EXPECT_EQ(Written(QSBoolProperty(true)), "1");
  EXPECT_EQ(Written(QSBoolProperty(false)), "0");
  EXPECT_EQ(Written(QSIntProperty(-42)), "-42");
  EXPECT_EQ(Written(QSDoubleProperty(440.0)), "440");
  EXPECT_EQ(Written(QSDoubleProperty(0.1)), "0.1");
  EXPECT_EQ(Written(QSDoubleProperty(1.0 / 3.0)), "0.333333");
  EXPECT_EQ(Written(QSDoubleProperty(1234567.0)), "1.23457e+06");
  EXPECT_EQ(Written(QSDoubleProperty(0.00001)), "1e-05");
  EXPECT_EQ(Written(QSRangeProperty(0.25f, 2.0f)), "0.25 2");
  EXPECT_EQ(Written(QS8CharsProperty(EightChars{1, -2, 3, 0, 0, 0, 127, -128})),
            "1 -2 3 0 0 0 127 -128 ");
  EXPECT_EQ(Written(QSCStringProperty()), "\"\"");
  EXPECT_EQ(Written(QSCStringProperty("loops/kick.wav")), "\"loops/kick.wav\"");
}

TEST(PropertyTest, NumbersAreWrittenWithAPointWhateverTheGlobalLocale) {
  std::locale old = std::locale::global(std::locale::classic());
  std::ostringstream out;
  try {
    out.imbue(std::locale("de_DE.UTF-8"));
  } catch (const std::exception&) {
  }
  QSDoubleProperty(2.5).WriteTo(out);
  EXPECT_EQ(out.str(), "2.5");
  std::locale::global(old);
}

TEST(PropertyTest, ReadingValidValues) {
  QSBoolProperty b;
  EXPECT_TRUE(Read(b, " 1"));
  EXPECT_TRUE(b.Value());
  QSIntProperty i;
  EXPECT_TRUE(Read(i, "  -17,"));
  EXPECT_EQ(i.Value(), -17);
  EXPECT_TRUE(Read(i, "+5"));
  EXPECT_EQ(i.Value(), 5);
  QSDoubleProperty d;
  for (auto [text, value] : {std::pair{"440", 440.0},
                             {"-0.5", -0.5},
                             {"1e-05", 1e-05},
                             {".25", 0.25},
                             {"3.", 3.0},
                             {"1.23457e+06", 1.23457e+06}}) {
    EXPECT_TRUE(Read(d, text)) << text;
    EXPECT_EQ(d.Value(), value) << text;
  }
  QSRangeProperty r;
  EXPECT_TRUE(Read(r, "0.5 1.5"));
  EXPECT_EQ(r.Value(), (FloatRange{0.5f, 1.5f}));
  QS8CharsProperty c;
  EXPECT_TRUE(Read(c, "1 2 3 4 5 6 7 255"));
  EXPECT_EQ(c.Value(), (EightChars{1, 2, 3, 4, 5, 6, 7, -1}));
}

TEST(PropertyTest, ReadingFailuresKeepTheOldValue) {
  QSBoolProperty b(true);
  EXPECT_FALSE(Read(b, "2"));
  EXPECT_TRUE(b.Value());
  EXPECT_FALSE(Read(b, "-1"));
  EXPECT_TRUE(b.Value());

  QSIntProperty i(7);
  EXPECT_FALSE(Read(i, "99999999999"));  // out of range
  EXPECT_EQ(i.Value(), 7);
  EXPECT_FALSE(Read(i, "abc"));
  EXPECT_FALSE(Read(i, ""));
  EXPECT_EQ(i.Value(), 7);

  QSDoubleProperty d(1.5);
  for (const char* bad : {"nan", "inf", "-inf", "e5", "1e", "-", ".", "}", ""}) {
    EXPECT_FALSE(Read(d, bad)) << bad;
    EXPECT_EQ(d.Value(), 1.5) << bad;
  }
  EXPECT_FALSE(Read(d, std::string(100000, '9')));  // an absurd number of digits
  EXPECT_EQ(d.Value(), 1.5);

  QSRangeProperty r(0.0f, 1.0f);
  EXPECT_FALSE(Read(r, "0.5"));
  EXPECT_FALSE(Read(r, "0.5 1e300"));  // beyond a float
  EXPECT_EQ(r.Value(), (FloatRange{0.0f, 1.0f}));

  QS8CharsProperty c(EightChars{9, 9, 9, 9, 9, 9, 9, 9});
  EXPECT_FALSE(Read(c, "1 2 3"));
  EXPECT_EQ(c.Value()[0], 9);
}

TEST(PropertyTest, TextEscapesRoundTrip) {
  const std::string text = "a\"b\\c";
  QSCStringProperty s(text);
  EXPECT_EQ(Written(s), "\"a\\\"b\\\\c\"");
  QSCStringProperty back;
  EXPECT_TRUE(Read(back, Written(s)));
  EXPECT_EQ(back.Value(), text);
  EXPECT_TRUE(Read(back, "  \"with spaces\tand tabs\""));
  EXPECT_EQ(back.Value(), "with spaces\tand tabs");
}

TEST(PropertyTest, TextReadingFailuresAndLimits) {
  QSCStringProperty s("old");
  s.TakeChanged();
  EXPECT_FALSE(Read(s, "unquoted"));
  EXPECT_EQ(s.Value(), "old");
  EXPECT_TRUE(s.TakeChanged());
  EXPECT_FALSE(Read(s, "\"never closed"));
  EXPECT_EQ(s.Value(), "old");
  EXPECT_FALSE(Read(s, "\"ends in a backslash\\"));
  EXPECT_EQ(s.Value(), "old");

  // A text longer than the limit is cut, and what follows is read in step.
  std::istringstream in("\"" + std::string(5000, 'x') + "\" 12");
  s.ReadFrom(in);
  EXPECT_EQ(s.Value().size(), QSCStringProperty::kMaxLength);
  int rest = 0;
  in >> rest;
  EXPECT_EQ(rest, 12);
}

TEST(PropertyTest, TextFlagRisesOnlyOnRealChange) {
  QSCStringProperty s("same");
  s.TakeChanged();
  s.SetValue("same");
  EXPECT_FALSE(s.IsChanged());
  QSCStringProperty empty;
  empty.TakeChanged();
  empty.SetValue("");
  EXPECT_FALSE(empty.IsChanged());
  empty.CopyFrom(QSCStringProperty("new"));
  EXPECT_TRUE(empty.TakeChanged());
  EXPECT_EQ(empty.Value(), "new");
}

TEST(PropertyTest, CloneAndAssignAcrossKinds) {
  QSDoubleProperty d(2.5);
  d.TakeChanged();
  auto clone = d.Clone();
  EXPECT_EQ(clone->KindCode(), QSProperty::kDouble);
  EXPECT_TRUE(clone->IsChanged());
  EXPECT_EQ(static_cast<QSDoubleProperty&>(*clone).Value(), 2.5);

  QSBoolProperty b(true);
  b.TakeChanged();
  d.AssignFrom(b);  // different kinds: nothing, and no flag
  EXPECT_EQ(d.Value(), 2.5);
  EXPECT_FALSE(d.IsChanged());
  b.AssignFrom(d);
  EXPECT_TRUE(b.Value());
  EXPECT_FALSE(b.IsChanged());

  QSRangeProperty r(1.0f, 2.0f);
  auto rc = r.Clone();
  QSRangeProperty target;
  target.AssignFrom(*rc);
  EXPECT_EQ(target.Value(), (FloatRange{1.0f, 2.0f}));
}

TEST(TextIOTest, TokensStopAtWhiteSpaceAndRefuseOverlongOnes) {
  std::istringstream in("  RingAM\tRingAM_1 {");
  std::string token;
  ASSERT_TRUE(textio::ReadToken(in, token, 199));
  EXPECT_EQ(token, "RingAM");
  EXPECT_EQ(in.peek(), '\t');
  ASSERT_TRUE(textio::ReadToken(in, token, 199));
  EXPECT_EQ(token, "RingAM_1");

  std::istringstream longer(std::string(500, 'n') + " next");
  EXPECT_FALSE(textio::ReadToken(longer, token, 199));
  EXPECT_TRUE(longer.fail());
}

}  // namespace property_test
}  // namespace tg
