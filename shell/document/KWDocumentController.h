#pragma once

#include <string>

#include "shell/document/KWDocument.h"

namespace tg {

// Runs the File commands against a document and the user's answers.
class KWDocumentController {
 public:
  KWDocumentController(KWDocument& document, KWDocumentQueries& queries)
      : document_(document), queries_(queries) {}

  bool NewDocument();
  bool OpenDocument();
  // The open dialog's answer; empty when cancelled.
  std::string AskFileToOpen() { return queries_.AskOpenFileName(); }
  bool OpenFile(const std::string& fileName);
  bool Save();
  bool SaveDocumentAs();
  bool Revert();
  // False only when the user cancelled (or a wanted save failed).
  bool CanClose();

 private:
  // Offers to save a modified document; false when the user cancelled or
  // the save failed, so nothing unsaved is lost.
  bool SaveChangesStep();

  KWDocument& document_;
  KWDocumentQueries& queries_;
};

}  // namespace tg
