#pragma once

#include <functional>
#include <string>

namespace tg::soundfilenames {

// Texts that name sound files are kept in memory as absolute paths wherever
// the file's place is known, so that what a name means never changes when
// the document moves to another folder, is restored from a crash copy or is
// undone after a save elsewhere. Only a document written to a folder stores
// them relative, to that folder (ScopedWriter); every other text (crash
// copies, the clipboard, the undo history) holds the names as kept.

using Mapping = std::function<std::string(const std::string&)>;

// How a name that is set or read in becomes the name kept; the program's
// sound-file paths install it. Without one, names are kept as given. Any thread.
void SetResolver(Mapping resolver);
std::string Kept(const std::string& name);

// While one lives on the calling thread, names are written through its
// mapping; scopes nest.
class ScopedWriter {
 public:
  explicit ScopedWriter(Mapping mapping);
  ~ScopedWriter();
  ScopedWriter(const ScopedWriter&) = delete;
  ScopedWriter& operator=(const ScopedWriter&) = delete;

 private:
  Mapping previous_;
};
std::string Written(const std::string& kept);

}  // namespace tg::soundfilenames
