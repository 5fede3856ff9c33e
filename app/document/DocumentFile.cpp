#include "app/document/DocumentFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/ReplacingFile.h"

namespace tg::documentfile {

namespace {

constexpr std::string_view kTemporaryInfix = ".saving-";

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteReplacing(const std::string& fileName, const std::string& text) {
  ReplacingFile file(fileName, kTemporaryInfix);
  const int fd = ::open(file.Temporary().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  return ok && file.Commit();  // otherwise the temporary goes with `file`
}

int RemoveStaleTemporaries(const std::string& fileName) {
  return ReplacingFile::RemoveStaleTemporaries(fileName, kTemporaryInfix);
}

}  // namespace tg::documentfile
