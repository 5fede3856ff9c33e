#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "host/StreamUserMessages.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/ScriptedQueries.h"

namespace tg::test {

// A headless patch with its document, as the program and the render tool
// put them together.
class DocumentFixture : public ::testing::Test {
 protected:
  DocumentFixture() {
    RegisterContraptionTypes(factory);
    engine.Host().messages = &messages;
  }
  // The document's text now.
  std::string Text() {
    std::ostringstream out;
    document.WriteTo(out);
    return out.str();
  }

  TContraptionFactory factory;
  StreamUserMessages messages{nullptr};
  TAudioEngineModule engine{factory};
  PatchModel model;
  PatchEditor patch{engine, model};
  ScriptedQueries queries;
  TGDocument document{patch, queries};
};

}  // namespace tg::test
