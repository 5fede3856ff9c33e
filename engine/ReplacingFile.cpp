#include "engine/ReplacingFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "files/FileNames.h"

namespace tg {

namespace {

namespace fs = std::filesystem;

std::string ErrnoText() { return std::error_code(errno, std::generic_category()).message(); }

// So the rename itself survives a power cut.
void SyncDirectoryOf(const std::string& fileName) {
  fs::path directory = fs::path(fileName).parent_path();
  if (directory.empty()) directory = ".";
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

std::string FollowLink(const std::string& name) {
  std::error_code ec;
  if (!fs::is_symlink(name, ec)) return name;
  const fs::path real = fs::weakly_canonical(name, ec);
  return ec ? name : real.string();
}

// "<name><infix>", the name cut short where a long one would leave no room
// for the infix and a process id.
std::string TemporaryPrefix(const fs::path& target, std::string_view infix) {
  constexpr size_t kProcessIdDigits = 10;
  return filenames::Shortened(target.filename().string(),
                              filenames::kMostNameBytes - infix.size() - kProcessIdDigits) +
         std::string(infix);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target, std::string_view infix)
    : target_(FollowLink(target)),
      temporary_((fs::path(target_).parent_path() / TemporaryPrefix(target_, infix)).string() +
                 std::to_string(::getpid())) {}

ReplacingFile::~ReplacingFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

bool ReplacingFile::TargetExists() const {
  struct stat st {};
  return ::stat(target_.c_str(), &st) == 0;
}

std::string ReplacingFile::Problem() const {
  struct stat st {};
  if (::stat(target_.c_str(), &st) != 0) return {};  // a new file
  if (S_ISDIR(st.st_mode)) return "Is a directory";
  // A device or pipe would be renamed away, not written to.
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (::access(target_.c_str(), W_OK) != 0) return ErrnoText();
  return {};
}

bool ReplacingFile::Commit() {
  struct stat old {};
  if (::stat(target_.c_str(), &old) == 0) ::chmod(temporary_.c_str(), old.st_mode & 07777);
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    error_ = ErrnoText();
    std::remove(temporary_.c_str());
    return false;
  }
  committed_ = true;
  SyncDirectoryOf(target_);
  return true;
}

int ReplacingFile::RemoveStaleTemporaries(const std::string& target, std::string_view infix) {
  const fs::path path(FollowLink(target));
  fs::path directory = path.parent_path();
  if (directory.empty()) directory = ".";
  const std::string prefix = TemporaryPrefix(path, infix);
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

}  // namespace tg
