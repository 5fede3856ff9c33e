#pragma once

#include <string>

namespace tg {

// Writing a document so that no moment of failure loses the last good copy,
// and tidying what an interrupted save left behind. UI thread.
namespace documentfile {

// Writes text to a temporary file beside fileName ("<name>.saving-<pid>"),
// flushes it to the disk and renames it over fileName (through a link, to
// where it points); a name that is no regular file, or that may not be
// written, is refused. False, with nothing changed and why saying why in
// words ("Permission denied"), when any step fails.
bool WriteReplacing(const std::string& fileName, const std::string& text,
                    std::string* why = nullptr);

// Removes the temporary files of saves of fileName by processes that no
// longer run (a save killed between writing and renaming). Answers how many.
int RemoveStaleTemporaries(const std::string& fileName);

}  // namespace documentfile
}  // namespace tg
