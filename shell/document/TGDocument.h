#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "engine/WaveExport.h"
#include "shell/document/KWDocument.h"

namespace tg {

class PatchEditor;
class TAudioEngineModule;

// A patch saved as a ".tgh" text document: the tempo, the pane layout, every
// contraption with its values, presets and window state, and every
// connection by instance names. UI thread only.
class TGDocument final : public KWDocument {
 public:
  static constexpr double kNewestReadableVersion = 0.9;
  static constexpr int kMaxPaneWidth = 5000;
  // Far beyond any real patch; a larger file is refused unread.
  static constexpr uint64_t kMaxDocumentBytes = uint64_t{64} << 20;

  TGDocument(PatchEditor& patch, KWDocumentQueries& queries);

  bool HasFileName() const override { return !fileName_.empty(); }
  const std::string& FileName() const { return fileName_; }
  // The file name without directory and extension, or "Untitled".
  std::string Title() const;
  void New() override;
  // Whether a file can be opened as a document (telling the user why not),
  // before anything of the current one is given up.
  bool CanOpen(const std::string& fileName) override;
  // Reads a file into the patch, only once it has proved to be a readable
  // document within the memory budget; otherwise the patch stays as it was.
  bool Open(const std::string& fileName) override;
  bool Read() override;
  // Opens a recovery copy as the document it was made of (original; empty
  // for one never saved), modified: nothing is written until the user saves.
  bool Recover(const std::string& copy, const std::string& original);
  bool Write() override;
  bool SaveAs() override;
  void UpdateModified() override;
  void ClearModified() override;

  // The document's text, as Write stores it.
  void WriteTo(std::ostream& out) const;
  // Reads a document's text into the (emptied) patch; false with a message
  // for text that is no document or one from a newer version.
  bool ReadFrom(std::istream& in);

  PatchEditor& Patch() const { return patch_; }
  // Tempo set from the document (the window shows it).
  double Tempo() const;
  // The memory a document's contraptions may take (tests make it small).
  void SetMemoryBudget(uint64_t bytes) { memoryBudget_ = bytes; }

  // Problems met while reading that did not stop it (unknown types, bad lines).
  const std::vector<std::string>& ReadProblems() const { return readProblems_; }
  // The sound files the document last opened names that cannot be played:
  // "LoopPlayer_1: loops/beat.wav: not found", one a file.
  const std::vector<std::string>& SoundFileProblems() const { return soundFileProblems_; }
  // The document's own file and the sound files the patch plays, which an
  // export or a saved recording must not replace.
  std::vector<FileInUse> FilesInUse() const;
  // Whether opening tells the user of those in a message (a terminal tool
  // prints them its own way).
  void SetTellsSoundFileProblems(bool tells) { tellsSoundFileProblems_ = tells; }

 private:
  void Message(const std::string& text, const std::string& caption) const;
  // The magic and version line; false with a message when it is no document.
  bool ReadHeader(std::istream& in);
  // A whole regular file of a document's size into text; false with a
  // message when it is none or cannot be read.
  bool Load(const std::string& fileName, std::string& text) const;
  // Header and budget of a whole document, the stream left at its end.
  bool Check(std::istream& in, std::string_view documentName);
  // Everything after the header, telling the user what was left out.
  void ReadBody(std::istream& in);
  void ReadSections(std::istream& in);
  void ReadContraptions(std::istream& in);
  void ReadConnections(std::istream& in);
  void ReadBindings(std::istream& in);
  // Reads file as the document named documentName (its name and folder).
  bool OpenAs(const std::string& file, const std::string& documentName);
  // Looks at every sound file the patch plays.
  void CheckSoundFiles();

  PatchEditor& patch_;
  KWDocumentQueries& queries_;
  std::string fileName_;
  std::vector<std::string> readProblems_;
  std::vector<std::string> soundFileProblems_;
  bool tellsSoundFileProblems_ = true;
  uint64_t memoryBudget_;
};

}  // namespace tg
