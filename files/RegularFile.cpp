#include "files/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tg::regularfile {

namespace {

// What a name that is no regular file stands for.
std::string KindOfNonRegular(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder";
  if (S_ISFIFO(mode)) return "it is a pipe";
  if (S_ISSOCK(mode)) return "it is a socket";
  return "it is a device, not a file";
}

std::string SizeText(uint64_t bytes) {
  constexpr uint64_t kMegabyte = uint64_t{1} << 20;
  return bytes % kMegabyte == 0 ? std::to_string(bytes / kMegabyte) + " MB"
                                : std::to_string(bytes) + " bytes";
}

// opened says whether the name could be opened at all, even if then refused.
int OpenRegular(const std::string& fileName, std::string& problem, bool& opened) {
  opened = false;
  problem.clear();
  if (fileName.empty()) {
    problem = "no file was named";
    return -1;
  }
  // Looked at through the descriptor that is then read, so nothing can be
  // swapped in between.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = errno == ENOENT || errno == ENOTDIR ? "not found"
              : errno == EACCES                   ? "it may not be read"
                                                  : "it cannot be opened";
    return -1;
  }
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  opened = known;
  if (!known || !S_ISREG(st.st_mode)) {
    problem = known ? KindOfNonRegular(st.st_mode) : "it cannot be opened";
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

int OpenForReading(const std::string& fileName, std::string& problem) {
  bool opened = false;
  return OpenRegular(fileName, problem, opened);
}

WholeFile ReadWhole(const std::string& fileName, uint64_t maxBytes) {
  WholeFile file;
  const int fd = OpenRegular(fileName, file.problem, file.opened);
  if (fd < 0) return file;
  struct stat st {};
  if (::fstat(fd, &st) != 0) st.st_size = 0;
  if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    file.problem = "it is larger than " + SizeText(maxBytes);
    return file;
  }
  // The size is only a hint: a file still being written may grow meanwhile,
  // and the limit holds whatever it grows to.
  std::string& text = file.text;
  text.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  for (;;) {
    if (done == text.size()) {
      if (text.size() > maxBytes) break;
      text.resize(text.size() + 4096);
    }
    const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      file.problem = "it cannot be read";
      break;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (file.problem.empty() && done > maxBytes)
    file.problem = "it is larger than " + SizeText(maxBytes);
  text.resize(file.problem.empty() ? done : 0);
  return file;
}

}  // namespace tg::regularfile
