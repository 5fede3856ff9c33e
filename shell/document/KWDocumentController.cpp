#include "shell/document/KWDocumentController.h"

namespace tg {

bool KWDocumentController::SaveChangesStep() {
  document_.UpdateModified();
  if (!document_.IsModified()) return true;
  bool cancelled = false;
  if (queries_.AskSaveChanges(cancelled)) return Save();
  return !cancelled;
}

bool KWDocumentController::NewDocument() {
  if (!SaveChangesStep()) return false;
  document_.New();
  document_.ClearModified();
  return true;
}

bool KWDocumentController::OpenDocument() {
  const std::string name = queries_.AskOpenFileName();
  if (name.empty()) return false;
  return OpenFile(name);
}

bool KWDocumentController::OpenFile(const std::string& fileName) {
  // A file that is no document costs the user neither a question nor the patch.
  if (!document_.CanOpen(fileName)) return false;
  if (!SaveChangesStep()) return false;
  if (!document_.Open(fileName)) return false;
  document_.ClearModified();
  return true;
}

bool KWDocumentController::Save() {
  if (document_.HasFileName()) {
    if (!document_.Write()) return false;  // stays modified
    document_.ClearModified();
    return true;
  }
  if (!document_.SaveAs()) return false;
  document_.ClearModified();
  return true;
}

bool KWDocumentController::SaveDocumentAs() {
  if (!document_.SaveAs()) return false;
  document_.ClearModified();
  return true;
}

bool KWDocumentController::Revert() {
  if (!document_.HasFileName() || !queries_.AskRevert()) return false;
  if (!document_.Read()) return false;  // the file is gone: keep what is here
  document_.ClearModified();
  return true;
}

bool KWDocumentController::CanClose() { return SaveChangesStep(); }

}  // namespace tg
