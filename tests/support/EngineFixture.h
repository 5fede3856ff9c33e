#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/TestProcessors.h"

namespace tg::test {

// Records what contraptions ask of the windowed program.
class RecordingWindows final : public ContraptionWindows {
 public:
  void ShowWindow(TGardeningContraption& c) override { shown.push_back(&c); }
  void CloseWindow(TGardeningContraption& c) override { closed.push_back(&c); }
  void ShowHelp(const std::string& typeName) override { help.push_back(typeName); }
  std::vector<TGardeningContraption*> shown, closed;
  std::vector<std::string> help;
};

// A headless engine with the real types and two test types, "TestRingAM" (a
// stand-in that counts its resets) and "AllKinds", whose contraptions the
// fixture deletes at the end.
class EngineFixture : public ::testing::Test {
 protected:
  EngineFixture() {
    RegisterContraptionTypes(factory);
    factory.Emplace<TMakerTemplate<TestRingAM>>("TestRingAM", "Effects", 1007, false);
    factory.Emplace<TMakerTemplate<TestAllKinds>>("AllKinds", "Test", 0, false);
    engine = std::make_unique<TAudioEngineModule>(factory);
    engine->Host().windows = &windows;
  }
  ~EngineFixture() override {
    for (auto& c : owned) engine->DestroyContraption(std::move(c));
  }
  TGardeningContraption& Make(std::string_view type, std::string_view name = "") {
    auto c = factory.Create(*engine, type, name);
    EXPECT_NE(c, nullptr) << type;
    owned.push_back(std::move(c));
    return *owned.back();
  }
  void Delete(TGardeningContraption& c) {
    for (auto it = owned.begin(); it != owned.end(); ++it) {
      if (it->get() == &c) {
        engine->DestroyContraption(std::move(*it));
        owned.erase(it);
        return;
      }
    }
  }
  template <typename P>
  static P& ProcessorOf(TGardeningContraption& c) {
    return static_cast<P&>(c.Processor());
  }

  TContraptionFactory factory;
  RecordingWindows windows;
  std::unique_ptr<TAudioEngineModule> engine;
  std::vector<std::unique_ptr<TGardeningContraption>> owned;
};

}  // namespace tg::test
