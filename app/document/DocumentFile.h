#pragma once

#include <string>

namespace tg {

// Writing a document so that no moment of failure loses the last good copy,
// and tidying what an interrupted save left behind. UI thread.
namespace documentfile {

// The temporary name a save by this process writes before renaming.
std::string TemporaryName(const std::string& fileName);

// Writes text to a temporary file beside fileName, flushes it to the disk and
// renames it over fileName. False, with nothing changed, when any step fails.
bool WriteReplacing(const std::string& fileName, const std::string& text);

// Removes the temporary files of saves of fileName by processes that no
// longer run (a save killed between writing and renaming). Answers how many.
int RemoveStaleTemporaries(const std::string& fileName);

}  // namespace documentfile
}  // namespace tg
