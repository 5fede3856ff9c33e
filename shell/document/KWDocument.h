#pragma once

#include <string>

namespace tg {

// A document with a file behind it and a modified state.
class KWDocument {
 public:
  virtual ~KWDocument() = default;
  virtual bool HasFileName() const = 0;
  // Makes the document empty and untitled.
  virtual void New() = 0;
  // Whether Open would succeed; tells the user why not.
  virtual bool CanOpen(const std::string&) { return true; }
  // False, with the document as it was, when the file cannot be read.
  virtual bool Open(const std::string& fileName) = 0;
  // Reads the document again from its file.
  virtual bool Read() = 0;
  // Writes the document to its file; false (after telling the user) when it could not.
  virtual bool Write() = 0;
  // Asks for a file name and writes there; false when cancelled or failed.
  virtual bool SaveAs() = 0;
  // Gathers the modified state into the flag.
  virtual void UpdateModified() {}
  virtual void ClearModified() { modified_ = false; }
  bool IsModified() const { return modified_; }
  void SetModified() { modified_ = true; }

 protected:
  bool modified_ = false;
};

// The questions a document command asks the user.
class KWDocumentQueries {
 public:
  virtual ~KWDocumentQueries() = default;
  // "Do you want to save the changes?": true for yes; cancelled for cancel.
  virtual bool AskSaveChanges(bool& cancelled) = 0;
  // "Are you sure you want to revert?"
  virtual bool AskRevert() = 0;
  // The document to open, or an empty text when cancelled.
  virtual std::string AskOpenFileName() = 0;
  // Where to save, starting from a proposed name; an empty text when cancelled.
  virtual std::string AskSaveFileName(const std::string& proposed) = 0;
  // "Tonegarden did not close properly. Restore …?": true for yes. Without
  // anyone to ask, nothing is restored (and the copy stays).
  virtual bool AskRestore(const std::string& /*question*/) { return false; }
};

}  // namespace tg
