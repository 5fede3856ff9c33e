#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

class SettingsStore;

// Where sound files named in documents are looked for: the document's own
// directory, the user's sound-file directories, then the program's
// directory. Names are stored relative to the first of these that holds
// them, so a patch keeps working when its folder moves. Every directory is
// kept with its trailing "/". Any thread (a file loader resolves names on
// its worker while the settings dialog may replace the list).
class SoundFilePaths {
 public:
  SoundFilePaths();
  // The program's one set of paths.
  static SoundFilePaths& Instance();

  // Keeps the directory part of a document's file name (empty without one).
  void SetDocumentDirectory(std::string_view documentFileName);
  std::string DocumentDirectory() const;
  void SetApplicationDirectory(std::string_view directory);
  std::string ApplicationDirectory() const;
  // Where recordings and exports were last saved: the proposal for the next
  // one, falling back to the document's and then the program's directory.
  void SetLastOutputDirectory(std::string_view fileName);
  std::string LastOutputDirectory() const;
  // The directory of the last file chosen in any sound-file dialog, kept
  // while the program runs (empty forgets it): where the next one starts,
  // falling back to the document's and then the program's directory.
  void SetLastSoundFileDirectory(std::string_view directory);
  std::string LastSoundFileDirectory() const;
  // Where a file dialog may start for a proposed file or directory: the
  // proposal itself, unless it lies on a pseudo file system (/proc, /sys,
  // /dev), where a dialog can block for ever reading a device-like file; then
  // the same file name in the document's directory, or in the home directory.
  std::string DialogStartPath(std::string_view proposedPath) const;
  std::vector<std::string> Directories() const;
  void SetDirectories(const std::vector<std::string>& directories);

  // The path relative to the first base directory that is a proper prefix of
  // it (letter case ignored), else the path unchanged.
  std::string MakeRelativePath(std::string_view path) const;
  // The first existing file among the base directories + name; failing
  // that, the first existing entry of another kind (a folder, a pipe), so
  // that a refusal can say what it found; else the name. Names written with
  // "\" separators are found as well.
  std::string ResolveSoundFile(std::string_view name) const;
  bool SoundFileExists(std::string_view name) const;
  // ResolveSoundFile for a document in another directory than the current one.
  std::string ResolveSoundFileFrom(std::string_view name, std::string_view documentDirectory) const;

  // The name a sound-file parameter keeps: the absolute, normalised path of
  // what the name resolves to; for a file not found, its place in the
  // document's directory; without a document directory the name itself.
  std::string KeptName(std::string_view name) const;
  // How a document written into documentDirectory names a sound file: the
  // shortest name relative to that directory, a listed directory or the
  // program's (in that order) that the document will resolve to the same
  // file (the same device and inode; for a file that does not exist, the
  // same path); else the absolute path.
  std::string NameForDocument(std::string_view name, std::string_view documentDirectory) const;

  // The sound-file directories in the settings ("SFPaths", "Path_0", …).
  void Load(const SettingsStore& settings);
  void Store(SettingsStore& settings) const;

 private:
  // The base directories in the order names are looked for.
  std::vector<std::string> Bases(const std::string& documentDirectory) const;
  // ResolveSoundFile from the given document directory; empty when nothing
  // of that name exists under any base.
  std::string Find(const std::string& relativeName, const std::string& documentDirectory) const;
  std::string KeptNameFrom(std::string_view name, const std::string& documentDirectory) const;

  mutable std::mutex mutex_;
  std::string documentDirectory_;
  std::vector<std::string> directories_;
  std::string applicationDirectory_;
  std::string lastOutputDirectory_;
  std::string lastSoundFileDirectory_;
};

// Whether a path lies on one of the kernel's pseudo file systems, which are
// no place for a document or a recording.
bool IsOnPseudoFileSystem(std::string_view path);

// The operations on the program's paths, as the document and the
// contraptions call them.
void SetDocumentDirectory(std::string_view documentFileName);
std::string MakeRelativePath(std::string_view path);
std::string ResolveSoundFile(std::string_view name);
bool SoundFileExists(std::string_view name);

}  // namespace tg
