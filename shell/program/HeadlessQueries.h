#pragma once

#include "shell/document/KWDocument.h"

namespace tg {

// The answers of a program without anybody to ask: keep what there is, open
// and save nothing by choice.
class HeadlessQueries final : public KWDocumentQueries {
 public:
  bool AskSaveChanges(bool& cancelled) override {
    cancelled = false;
    return false;
  }
  bool AskRevert() override { return false; }
  std::string AskOpenFileName() override { return {}; }
  std::string AskSaveFileName(const std::string&) override { return {}; }
};

}  // namespace tg
