#pragma once

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "host/StreamUserMessages.h"
#include "shell/RegisterContraptions.h"

// One headless engine with every type registered, kept for the whole run;
// its messages go nowhere.
struct FuzzWorld {
  FuzzWorld() {
    tg::RegisterContraptionTypes(factory);
    engine.Host().messages = &quiet;
  }
  tg::TContraptionFactory factory;
  tg::StreamUserMessages quiet{nullptr};
  tg::TAudioEngineModule engine{factory};
};

inline FuzzWorld& Fuzz() {
  static FuzzWorld world;
  return world;
}
