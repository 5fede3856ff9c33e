#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace tg {

// The copies autosave keeps of unsaved documents, one per running program,
// in a directory of the user's own: "<title>-<process>.tgh", beside a
// "<title>-<process>.origin" naming the document it belongs to (empty for
// one never saved). A clean exit removes them; a copy whose process is gone
// is what a crash left and is offered back at the next start. Qt-free.
class RecoveryFiles {
 public:
  struct Orphan {
    std::string file;      // the recovery copy
    std::string original;  // the document it is a copy of; empty: untitled
    std::time_t written = 0;
  };

  RecoveryFiles(std::string directory, long processId);
  // $XDG_DATA_HOME/tonegarden/recovery/ (or ~/.local/share/…).
  static std::string DefaultDirectory();

  // Writes text as this process's copy of the document (atomically, synced
  // to the disk); the copy of an earlier name goes. False when it failed.
  bool Write(const std::string& documentFileName, const std::string& text);
  // Removes this process's copy (saved, or the program closes cleanly).
  void RemoveOwn();
  // The copies whose process no longer runs, newest first.
  std::vector<Orphan> FindOrphans() const;
  static void Discard(const Orphan& orphan);
  // "Tonegarden did not close properly. Restore the unsaved changes to
  // 'song.tgh' from 14:32?"
  static std::string Question(const Orphan& orphan);

 private:
  std::string PathFor(const std::string& documentFileName, const char* extension) const;

  std::string directory_;
  long processId_;
  std::string ownCopy_;
  std::string ownOrigin_;
};

}  // namespace tg
