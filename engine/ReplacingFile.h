#pragma once

#include <string>
#include <string_view>

namespace tg {

// A file made under a temporary name beside the one it is to replace and
// renamed over it only once complete, so that the file it replaces survives
// a cancel, a full disk or a crash. UI thread.
class ReplacingFile {
 public:
  // What an export's temporaries are called: target + infix + process id.
  static constexpr std::string_view kExportInfix = ".exporting-";

  // A target that is a symbolic link is followed: the link stays.
  explicit ReplacingFile(const std::string& target, std::string_view infix = kExportInfix);
  // Removes the temporary unless it was committed.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Why the target cannot be replaced (a directory, a file we may not
  // write), in words; empty when it can.
  std::string Problem() const;
  // Whether there is a file to replace.
  bool TargetExists() const;
  const std::string& Temporary() const { return temporary_; }

  // Renames the finished (closed) temporary over the target, with the
  // permissions of the file it replaces. False, the temporary removed and
  // Error() saying why, when that failed.
  bool Commit();
  const std::string& Error() const { return error_; }

  // Removes the temporaries of replacements of target by processes that no
  // longer run (one killed before renaming). Answers how many.
  static int RemoveStaleTemporaries(const std::string& target,
                                    std::string_view infix = kExportInfix);

 private:
  std::string target_;
  std::string temporary_;
  std::string error_;
  bool committed_ = false;
};

}  // namespace tg
