#include "app/document/KWDocumentController.h"

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
  if (!SaveChangesStep()) return false;
  const bool opened = document_.Open(fileName);
  document_.ClearModified();
  return opened;
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
  document_.Read();
  document_.ClearModified();
  return true;
}

bool KWDocumentController::CanClose() { return SaveChangesStep(); }

}  // namespace tg
