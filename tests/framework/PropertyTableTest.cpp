#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "properties/QSPropertyTable.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace property_table_test {

using test::TestAllKinds;
using test::TestBare;
using test::TestRingAM;

std::string Written(QSSignalProcessor& p) {
  std::ostringstream out;
  p.WriteProperties(out);
  return out.str();
}

TEST(PropertyTableTest, OrderNamesUnitsAndRanges) {
  TestAllKinds p(nullptr);
  QSPropertyTable& table = *p.GetPropertyTable();
  ASSERT_EQ(table.Count(), 4);
  EXPECT_EQ(&table.PropertyAt(0), &p.level);
  EXPECT_EQ(&table.PropertyAt(3), &p.file);
  EXPECT_EQ(&table.PropertyByName("Count"), &p.count);
  EXPECT_EQ(table.IndexOf("On"), 1);
  EXPECT_EQ(table.InfoAt(0).name, "Level");
  EXPECT_EQ(table.InfoAt(0).units, &QSGainUnits::Get());
  EXPECT_EQ(table.InfoAt(0).maximum, 1.0);
  EXPECT_EQ(table.InfoAt(1).units, &QSAbstractUnits::Get());

  // A second instance shares the class's descriptions but finds its own members.
  TestAllKinds q(nullptr);
  EXPECT_EQ(&q.GetPropertyTable()->PropertyAt(2), &q.count);
}

TEST(PropertyTableTest, UnknownNamesAndPositionsGiveTheNullProperty) {
  TestRingAM p(nullptr);
  QSPropertyTable& table = *p.GetPropertyTable();
  QSProperty& null = QSPropertyTable::NullProperty();
  EXPECT_EQ(&table.PropertyByName("frequency"), &null);  // case matters
  EXPECT_EQ(table.IndexOf("frequency"), -1);
  EXPECT_EQ(&table.PropertyAt(-1), &null);
  EXPECT_EQ(&table.PropertyAt(table.Count()), &null);
  EXPECT_EQ(null.KindCode(), QSProperty::kBool);
}

TEST(PropertyTableTest, ARepeatedNameKeepsItsFirstPosition) {
  QSStaticPropertyTable::ClassInfo info;
  QSStaticPropertyTable table;
  QSIntProperty a, b;
  table.Bind(info, [&](auto& add) {
    add(a, "Twice");
    add(b, "Twice");
  });
  EXPECT_EQ(table.Count(), 2);
  EXPECT_EQ(table.IndexOf("Twice"), 0);
  EXPECT_EQ(&table.PropertyAt(1), &b);
}

TEST(PropertyTableTest, ValueListsWriteInTableOrder) {
  TestAllKinds p(nullptr);
  p.file.SetValue("a b");
  EXPECT_EQ(Written(p), "{ 0.5, 0, 3, \"a b\" }");
  TestRingAM ring(nullptr);
  EXPECT_EQ(Written(ring), "{ 440, 0 }");
  TestBare bare(nullptr);
  EXPECT_EQ(Written(bare), "{  }");
}

TEST(PropertyTableTest, ReadingShortLongAndEmptyLists) {
  TestBare bare(nullptr);
  for (const char* text : {"{  }", "{}", "{\n}"}) {
    std::istringstream in(text);
    bare.ReadProperties(in);
    EXPECT_FALSE(in.fail()) << text;
  }

  TestAllKinds p(nullptr);
  std::istringstream shortList("{ 0.25, 1 }");
  p.ReadProperties(shortList);
  EXPECT_FALSE(shortList.fail());
  EXPECT_EQ(p.level.Value(), 0.25);
  EXPECT_TRUE(p.on.Value());
  EXPECT_EQ(p.count.Value(), 3);

  TestRingAM ring(nullptr);
  std::istringstream longList("{ 1, 2, 3, 4 } rest");
  ring.ReadProperties(longList);
  EXPECT_FALSE(longList.fail());
  EXPECT_EQ(ring.frequency.Value(), 1.0);
  EXPECT_EQ(ring.am.Value(), 2);
  std::string rest;
  longList >> rest;
  EXPECT_EQ(rest, "rest");
}

TEST(PropertyTableTest, MalformedListsFailAndKeepWhatWasRead) {
  TestRingAM ring(nullptr);
  std::istringstream semicolon("{ 1; 2 }");
  ring.ReadProperties(semicolon);
  EXPECT_TRUE(semicolon.fail());
  EXPECT_EQ(ring.frequency.Value(), 1.0);
  EXPECT_EQ(ring.am.Value(), 0);

  for (const char* text : {"", "440, 0 }", "{ 5, 1", "{ 5, ", "{ 5, 1, 2, 3", "{ \"x\", 1 }"}) {
    TestRingAM r(nullptr);
    std::istringstream in(text);
    r.ReadProperties(in);  // must stop at the end of input
    EXPECT_TRUE(in.fail()) << text;
  }
}

TEST(PropertyTableTest, WrittenListsReadBackToTheSameText) {
  TestAllKinds p(nullptr);
  p.level.SetValue(0.123456789);
  p.on.SetValue(true);
  p.count.SetValue(-12);
  p.file.SetValue("dir/\"quoted\"\\name.wav");
  const std::string text = Written(p);
  TestAllKinds q(nullptr);
  std::istringstream in(text);
  q.ReadProperties(in);
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(Written(q), text);
}

}  // namespace property_table_test
}  // namespace tg
