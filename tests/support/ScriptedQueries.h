#pragma once

#include <string>
#include <vector>

#include "shell/document/KWDocument.h"

namespace tg::test {

// The user's answers to the document's questions, set by the test beforehand.
class ScriptedQueries final : public KWDocumentQueries {
 public:
  bool AskSaveChanges(bool& cancelled) override {
    ++saveQuestions;
    cancelled = cancelSave;
    return saveChanges;
  }
  bool AskRevert() override { return revert; }
  std::string AskOpenFileName() override { return openName; }
  std::string AskSaveFileName(const std::string&) override { return saveName; }
  bool AskRestore(const std::string& question) override {
    restoreQuestions.push_back(question);
    return restore;
  }

  bool saveChanges = false;
  bool cancelSave = false;
  bool revert = true;
  int saveQuestions = 0;
  bool restore = true;
  std::vector<std::string> restoreQuestions;
  std::string openName, saveName;
};

}  // namespace tg::test
