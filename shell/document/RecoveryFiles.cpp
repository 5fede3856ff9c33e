#include "shell/document/RecoveryFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "files/FileNames.h"
#include "shell/document/DocumentFile.h"

namespace tg {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ProcessRuns(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The id in "<title>-<id>.tgh" ("<pid>_<number>", or a bare process id in
// copies of earlier versions), or empty.
std::string IdOf(const std::string& name) {
  const size_t dot = name.rfind(".tgh");
  const size_t dash = name.rfind('-', dot);
  if (dot == std::string::npos || dash == std::string::npos || dash + 1 >= dot) return {};
  const std::string id = name.substr(dash + 1, dot - dash - 1);
  for (const char c : id) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != '_') return {};
  }
  return id;
}

// An exclusive lock on an open file, held by the open file itself: any
// other opening, in this process or another, is refused it.
bool TakeLock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

// Whether a running program holds the lock of id. Copies of earlier
// versions have no lock: their process id says.
bool Held(const std::string& directory, const std::string& id) {
  if (id.find('_') == std::string::npos) return ProcessRuns(std::strtol(id.c_str(), nullptr, 10));
  const int fd = ::open((directory + id + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // a running program keeps its lock file
  const bool free = TakeLock(fd);
  ::close(fd);  // and with it the lock, if it was taken
  return !free;
}

}  // namespace

RecoveryFiles::RecoveryFiles(std::string directory, long processId)
    : directory_(std::move(directory)) {
  if (!directory_.empty() && directory_.back() != '/') directory_ += '/';
  std::random_device random;
  char number[16];
  std::snprintf(number, sizeof number, "%08x", static_cast<unsigned>(random()));
  id_ = std::to_string(processId) + '_' + number;
}

RecoveryFiles::~RecoveryFiles() {
  if (lockFd_ < 0) return;
  // Gone with the program only when it leaves nothing to offer.
  if (ownCopy_.empty()) ::unlink((directory_ + id_ + ".lock").c_str());
  ::close(lockFd_);
}

bool RecoveryFiles::Lock() {
  const std::string path = directory_ + id_ + ".lock";
  while (lockFd_ < 0) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // Another start may have found the file unlocked and removed it before
    // the lock was taken: then the lock is on a file nobody else can find.
    const bool locked = TakeLock(fd);
    struct stat held {
    }, named{};
    if (locked && ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      lockFd_ = fd;
    } else {
      ::close(fd);
      if (!locked) return false;
    }
  }
  return true;
}

std::string RecoveryFiles::DefaultDirectory() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data != nullptr && data[0] == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr && *home != '\0' ? home : "/tmp") + "/.local/share";
  }
  return base + "/tonegarden/recovery/";
}

std::string RecoveryFiles::PathFor(const std::string& documentFileName,
                                   const char* extension) const {
  std::string title = BaseName(documentFileName);
  title = title.substr(0, title.rfind('.'));
  if (title.empty()) title = "Untitled";
  // Only characters that need no care in a file name.
  for (char& c : title) {
    if (c == '/' || static_cast<unsigned char>(c) < 32) c = '_';
  }
  // Room for "-<id>" and the longest extension: the origin file keeps the whole name.
  constexpr size_t kMostTitleBytes = filenames::kMostNameBytes - 40;
  return directory_ + filenames::Shortened(title, kMostTitleBytes) + '-' + id_ + extension;
}

bool RecoveryFiles::Write(const std::string& documentFileName, const std::string& text) {
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  if (!Lock()) return false;
  const std::string copy = PathFor(documentFileName, ".tgh");
  const std::string origin = PathFor(documentFileName, ".origin");
  // The origin first: a copy is never found without knowing whose it is.
  if (!documentfile::WriteReplacing(origin, documentFileName)) return false;
  if (!documentfile::WriteReplacing(copy, text)) return false;
  if (!ownCopy_.empty() && ownCopy_ != copy) {
    std::filesystem::remove(ownCopy_, ec);
    std::filesystem::remove(ownOrigin_, ec);
  }
  ownCopy_ = copy;
  ownOrigin_ = origin;
  return true;
}

void RecoveryFiles::RemoveOwn() {
  if (ownCopy_.empty()) return;
  std::error_code ec;
  // The copy before its origin, the reverse of writing.
  std::filesystem::remove(ownCopy_, ec);
  std::filesystem::remove(ownOrigin_, ec);
  ownCopy_.clear();
  ownOrigin_.clear();
}

std::vector<RecoveryFiles::Orphan> RecoveryFiles::FindOrphans() const {
  std::vector<Orphan> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory_, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string path = it->path().string();
    const std::string name = it->path().filename().string();
    if (!name.ends_with(".tgh")) continue;
    const std::string id = IdOf(name);
    if (id.empty() || id == id_ || Held(directory_, id)) continue;
    std::ifstream originFile(path.substr(0, path.size() - 4) + ".origin", std::ios::binary);
    if (!originFile) continue;  // a copy is written after its origin
    std::ostringstream origin;
    origin << originFile.rdbuf();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) continue;
    found.push_back(Orphan{path, origin.str(), st.st_mtime});
  }
  std::sort(found.begin(), found.end(),
            [](const Orphan& a, const Orphan& b) { return a.written > b.written; });
  return found;
}

void RecoveryFiles::Discard(const Orphan& orphan) {
  std::error_code ec;
  std::filesystem::remove(orphan.file, ec);
  std::filesystem::remove(orphan.file.substr(0, orphan.file.size() - 4) + ".origin", ec);
  // The lock file goes with the last copy of its program.
  const std::string directory = orphan.file.substr(0, orphan.file.find_last_of('/') + 1);
  const std::string id = IdOf(BaseName(orphan.file));
  if (id.find('_') == std::string::npos || Held(directory, id)) return;
  for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (IdOf(it->path().filename().string()) == id) return;
  }
  std::filesystem::remove(directory + id + ".lock", ec);
}

std::string RecoveryFiles::Question(const Orphan& orphan) {
  char time[16] = "";
  std::tm local{};
  if (localtime_r(&orphan.written, &local) != nullptr)
    std::strftime(time, sizeof time, "%H:%M", &local);
  const std::string name = orphan.original.empty() ? "Untitled" : BaseName(orphan.original);
  std::string text = "Tonegarden did not close properly. Restore the unsaved changes to '";
  text.append(name).append("' from ").append(time).append("?");
  return text;
}

}  // namespace tg
