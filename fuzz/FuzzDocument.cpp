// Any bytes as a patch document: reading must neither crash nor hang, and
// what was read must write out again.
#include <sstream>
#include <string>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "fuzz/FuzzEngine.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/HeadlessQueries.h"

using namespace tg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TAudioEngineModule& engine = Fuzz().engine;
  PatchModel model;
  PatchEditor patch(engine, model);
  HeadlessQueries queries;
  TGDocument document(patch, queries);
  document.New();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  if (document.ReadFrom(in)) {
    std::ostringstream out;
    document.WriteTo(out);
    // A document we wrote reads back to the same text.
    const std::string first = out.str();
    document.New();
    std::istringstream again(first);
    document.ReadFrom(again);
    std::ostringstream second;
    document.WriteTo(second);
    if (second.str() != first) __builtin_trap();
  }
  return 0;
}
