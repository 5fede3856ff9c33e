#include "app/document/DocumentFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tg::documentfile {

namespace {

constexpr const char* kTemporaryInfix = ".saving-";

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

// So the rename itself survives a power cut.
void SyncDirectoryOf(const std::string& fileName) {
  std::filesystem::path directory = std::filesystem::path(fileName).parent_path();
  if (directory.empty()) directory = ".";
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

std::string TemporaryName(const std::string& fileName) {
  return fileName + kTemporaryInfix + std::to_string(::getpid());
}

bool WriteReplacing(const std::string& name, const std::string& text) {
  // A document reached through a link is saved where the link points, and
  // the link stays.
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(name, ec);
  const std::string fileName = ec ? name : target.string();
  const std::string temporary = TemporaryName(fileName);
  // Keep the permissions of the copy being replaced.
  struct stat old {};
  const mode_t mode = ::stat(fileName.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0666;
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temporary.c_str(), fileName.c_str()) == 0;
  if (!ok) {
    std::remove(temporary.c_str());
    return false;
  }
  SyncDirectoryOf(fileName);
  return true;
}

int RemoveStaleTemporaries(const std::string& fileName) {
  namespace fs = std::filesystem;
  const fs::path path(fileName);
  fs::path directory = path.parent_path();
  if (directory.empty()) directory = ".";
  const std::string prefix = path.filename().string() + kTemporaryInfix;
  std::error_code ec;
  fs::directory_iterator it(directory, ec);
  if (ec) return 0;
  int removed = 0;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix)) continue;
    const std::string_view digits = std::string_view(name).substr(prefix.size());
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) continue;
    if (pid == ::getpid() || ProcessRuns(pid)) continue;
    if (entry.is_regular_file(ec) && fs::remove(entry.path(), ec)) ++removed;
  }
  return removed;
}

}  // namespace tg::documentfile
