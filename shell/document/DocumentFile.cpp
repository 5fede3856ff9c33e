#include "shell/document/DocumentFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "engine/ReplacingFile.h"

namespace tg::documentfile {

namespace {

constexpr std::string_view kTemporaryInfix = ".saving-";

std::string ErrnoText() { return std::error_code(errno, std::generic_category()).message(); }

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Makes a rename or a new name in a directory survive a power cut.
void SyncDirectoryOf(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : fileName.substr(0, slash + 1);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteReplacing(const std::string& fileName, const std::string& text, std::string* why) {
  const auto failed = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  };
  ReplacingFile file(fileName, kTemporaryInfix);
  // A pipe or device would be renamed away, a read-only document replaced.
  if (std::string problem = file.Problem(); !problem.empty()) return failed(std::move(problem));
  const int fd = ::open(file.Temporary().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return failed(ErrnoText());
  std::string reason;
  if (!WriteAll(fd, text) || ::fsync(fd) != 0) reason = ErrnoText();
  if (::close(fd) != 0 && reason.empty()) reason = ErrnoText();
  if (!reason.empty()) return failed(std::move(reason));  // the temporary goes with `file`
  // The temporary's name is on the disk before it replaces anything, and
  // the replacement is on the disk before the save is reported done.
  SyncDirectoryOf(file.Temporary());
  if (!file.Commit()) return failed(file.Error());
  SyncDirectoryOf(fileName);
  return true;
}

int RemoveStaleTemporaries(const std::string& fileName) {
  return ReplacingFile::RemoveStaleTemporaries(fileName, kTemporaryInfix);
}

}  // namespace tg::documentfile
