#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSPropertyTable.h"
#include "shell/RegisterContraptions.h"
#include "tests/conformance/throwaway/TGThrowAway.h"

namespace tg::test {

// The program's types and, last, the tests' own throw-away type, which comes
// in through its descriptor alone.
inline void RegisterTypesUnderTest(TContraptionFactory& factory) {
  RegisterContraptionTypes(factory);
  factory.Register(ThrowAwayType());
}

// Every type under test, in New-menu order: the conformance suites run over
// these, so a new type is checked without new tests.
inline std::vector<std::string> RegisteredTypeNames() {
  TContraptionFactory factory;
  RegisterTypesUnderTest(factory);
  std::vector<std::string> names;
  for (int i = 0; i < factory.MakerCount(); ++i) names.push_back(factory.MakerAt(i)->TypeName());
  return names;
}

// Test names may hold letters, digits and underscores only.
inline std::string TestNameOf(const ::testing::TestParamInfo<std::string>& info) {
  std::string name;
  for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

// Moves every numeric parameter that declares a range to a point inside it
// that is neither end nor default (a third of the way), and flips every bool.
// Texts (file names) stay: a conformance run must not make files; so do the
// states a processor keeps itself.
inline void MoveEveryParameter(QSSignalProcessor& processor, double share = 0.37) {
  QSPropertyTable& table = *processor.GetPropertyTable();
  for (int i = 0; i < table.Count(); ++i) {
    QSProperty& p = table.PropertyAt(i);
    const QSPropertyInfo& info = table.InfoAt(i);
    if (info.isState) continue;
    if (p.KindCode() == QSProperty::kBool) {
      p.SetNumericValue(*p.NumericValue() != 0.0 ? 0.0 : 1.0);
    } else if (info.HasRange()) {
      p.SetNumericValue(info.minimum + share * (info.maximum - info.minimum));
    }
  }
}

// A headless engine with every registered type.
class ConformanceFixture : public ::testing::TestWithParam<std::string> {
 protected:
  ConformanceFixture() { RegisterTypesUnderTest(factory); }
  ~ConformanceFixture() override {
    for (auto& c : owned) engine.DestroyContraption(std::move(c));
  }
  // A contraption of the type under test, in the engine's graph.
  TGardeningContraption& Make() {
    auto c = factory.Create(engine, GetParam(), "");
    EXPECT_NE(c, nullptr) << GetParam();
    engine.AttachContraption(*c);
    owned.push_back(std::move(c));
    return *owned.back();
  }

  TContraptionFactory factory;
  TAudioEngineModule engine{factory};
  std::vector<std::unique_ptr<TGardeningContraption>> owned;
};

}  // namespace tg::test
