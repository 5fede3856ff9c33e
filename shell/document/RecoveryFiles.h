#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace tg {

// The copies autosave keeps of unsaved documents, one per running program,
// in a directory of the user's own: "<title>-<id>.tgh", beside a
// "<title>-<id>.origin" naming the document it belongs to (empty for one
// never saved). The id is the process id and a number drawn at start, so a
// later process given the same process id (after a power cut, say) never
// takes a crashed one's copies for its own. From its first copy on, each
// program holds an exclusive lock (flock) on "<id>.lock" until it ends: a
// copy whose lock can be taken, or has no lock file, belongs to no running
// program. A clean exit removes copies and lock; what a crash left is
// offered back at the next start. Qt-free.
class RecoveryFiles {
 public:
  struct Orphan {
    std::string file;      // the recovery copy
    std::string original;  // the document it is a copy of; empty: untitled
    std::time_t written = 0;
  };

  RecoveryFiles(std::string directory, long processId);
  // Releases the lock, as the end of the process would: copies not removed
  // are then another start's to offer.
  ~RecoveryFiles();
  RecoveryFiles(const RecoveryFiles&) = delete;
  RecoveryFiles& operator=(const RecoveryFiles&) = delete;
  // $XDG_DATA_HOME/tonegarden/recovery/ (or ~/.local/share/…).
  static std::string DefaultDirectory();

  // Writes text as this process's copy of the document (atomically, synced
  // to the disk); the copy of an earlier name goes. False when it failed.
  bool Write(const std::string& documentFileName, const std::string& text);
  // Removes this process's copy (saved, or the program closes cleanly).
  void RemoveOwn();
  // This program's copy, or empty before the first.
  const std::string& OwnCopy() const { return ownCopy_; }
  // The copies of programs that no longer run, newest first.
  std::vector<Orphan> FindOrphans() const;
  static void Discard(const Orphan& orphan);
  // "Tonegarden did not close properly. Restore the unsaved changes to
  // 'song.tgh' from 14:32?"
  static std::string Question(const Orphan& orphan);

 private:
  std::string PathFor(const std::string& documentFileName, const char* extension) const;
  // Takes this program's lock (once); false when it cannot.
  bool Lock();

  std::string directory_;
  std::string id_;
  int lockFd_ = -1;
  std::string ownCopy_;
  std::string ownOrigin_;
};

}  // namespace tg
