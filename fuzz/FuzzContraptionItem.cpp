// Any text as one contraption item of a document: reading it must neither
// crash nor hang, whatever it does to the values.
#include <sstream>
#include <string>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "fuzz/FuzzEngine.h"

using namespace tg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TContraptionFactory& factory = Fuzz().factory;
  TAudioEngineModule& engine = Fuzz().engine;

  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  while (in) {
    auto contraption = factory.ReadContraption(engine, in);
    if (contraption == nullptr) break;
    std::ostringstream out;
    contraption->Processor().WriteProperties(out);
    for (int slot = 0; slot < TGardeningContraption::kPresetCount; ++slot) {
      contraption->PresetAt(slot).WriteTo(out);
      contraption->RecallPreset(slot);
    }
    engine.DestroyContraption(std::move(contraption));
  }
  return 0;
}
