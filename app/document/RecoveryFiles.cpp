#include "app/document/RecoveryFiles.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/document/DocumentFile.h"

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

// The process id in "<title>-<pid>.tgh", or 0.
long ProcessOf(const std::string& name) {
  const size_t dot = name.rfind(".tgh");
  const size_t dash = name.rfind('-', dot);
  if (dot == std::string::npos || dash == std::string::npos || dash + 1 >= dot) return 0;
  long pid = 0;
  for (size_t i = dash + 1; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 100000000) return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

}  // namespace

RecoveryFiles::RecoveryFiles(std::string directory, long processId)
    : directory_(std::move(directory)), processId_(processId) {
  if (!directory_.empty() && directory_.back() != '/') directory_ += '/';
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
  return directory_ + title + '-' + std::to_string(processId_) + extension;
}

bool RecoveryFiles::Write(const std::string& documentFileName, const std::string& text) {
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
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
    const long pid = ProcessOf(name);
    if (pid == 0 || pid == processId_ || ProcessRuns(pid)) continue;
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
