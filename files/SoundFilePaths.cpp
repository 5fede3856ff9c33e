#include "files/SoundFilePaths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/SettingsStore.h"
#include "properties/SoundFileNames.h"

namespace tg {

namespace {

constexpr std::string_view kGroupName = "SFPaths";

std::string WithForwardSlashes(std::string_view name) {
  std::string s(name);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

std::string AsDirectory(std::string_view directory) {
  std::string d = WithForwardSlashes(directory);
  if (!d.empty() && d.back() != '/') d.push_back('/');
  return d;
}

bool IsProperPrefixIgnoringCase(std::string_view base, std::string_view path) {
  if (base.empty() || base.size() >= path.size()) return false;
  for (size_t i = 0; i < base.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(base[i])) !=
        std::tolower(static_cast<unsigned char>(path[i]))) {
      return false;
    }
  }
  return true;
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Absolute (against the working directory) and without "." or "..".
std::string Normal(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

// Both name one file, or, where neither exists, one path.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  const bool hasA = ::stat(a.c_str(), &sa) == 0, hasB = ::stat(b.c_str(), &sb) == 0;
  if (hasA != hasB) return false;
  return hasA ? sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino : a == b;
}

std::string ExecutableDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : AsDirectory(exe.parent_path().string());
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? AsDirectory(home) : std::string("/");
}

std::string PathKey(size_t i) { return "Path_" + std::to_string(i); }

}  // namespace

SoundFilePaths::SoundFilePaths() : applicationDirectory_(ExecutableDirectory()) {}

SoundFilePaths& SoundFilePaths::Instance() {
  static SoundFilePaths paths;
  // Sound-file parameters keep the names these paths resolve.
  static const bool resolving = [] {
    soundfilenames::SetResolver(
        [](const std::string& name) { return SoundFilePaths::Instance().KeptName(name); });
    return true;
  }();
  (void)resolving;
  return paths;
}

void SoundFilePaths::SetDocumentDirectory(std::string_view documentFileName) {
  const std::string name = WithForwardSlashes(documentFileName);
  const size_t slash = name.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  std::lock_guard lock(mutex_);
  documentDirectory_ = directory;
}

std::string SoundFilePaths::DocumentDirectory() const {
  std::lock_guard lock(mutex_);
  return documentDirectory_;
}

void SoundFilePaths::SetApplicationDirectory(std::string_view directory) {
  std::lock_guard lock(mutex_);
  applicationDirectory_ = AsDirectory(directory);
}

std::string SoundFilePaths::ApplicationDirectory() const {
  std::lock_guard lock(mutex_);
  return applicationDirectory_;
}

void SoundFilePaths::SetLastOutputDirectory(std::string_view fileName) {
  if (IsOnPseudoFileSystem(fileName)) return;
  const size_t slash = fileName.find_last_of('/');
  std::lock_guard lock(mutex_);
  lastOutputDirectory_ =
      slash == std::string_view::npos ? std::string() : std::string(fileName.substr(0, slash + 1));
}

std::string SoundFilePaths::LastOutputDirectory() const {
  std::lock_guard lock(mutex_);
  if (!lastOutputDirectory_.empty()) return lastOutputDirectory_;
  if (!documentDirectory_.empty() && !IsOnPseudoFileSystem(documentDirectory_))
    return documentDirectory_;
  return applicationDirectory_;
}

void SoundFilePaths::SetLastSoundFileDirectory(std::string_view directory) {
  if (!directory.empty() && IsOnPseudoFileSystem(directory)) return;
  std::lock_guard lock(mutex_);
  lastSoundFileDirectory_ = AsDirectory(directory);
}

std::string SoundFilePaths::LastSoundFileDirectory() const {
  std::lock_guard lock(mutex_);
  if (!lastSoundFileDirectory_.empty()) return lastSoundFileDirectory_;
  if (!documentDirectory_.empty() && !IsOnPseudoFileSystem(documentDirectory_))
    return documentDirectory_;
  return applicationDirectory_;
}

std::string SoundFilePaths::DialogStartPath(std::string_view proposedPath) const {
  if (!IsOnPseudoFileSystem(proposedPath)) return std::string(proposedPath);
  const std::string path = WithForwardSlashes(proposedPath);
  const size_t slash = path.rfind('/');
  const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string directory = DocumentDirectory();
  if (directory.empty() || IsOnPseudoFileSystem(directory)) directory = HomeDirectory();
  return directory + fileName;
}

std::vector<std::string> SoundFilePaths::Directories() const {
  std::lock_guard lock(mutex_);
  return directories_;
}

void SoundFilePaths::SetDirectories(const std::vector<std::string>& directories) {
  std::vector<std::string> normalized;
  for (const auto& d : directories) {
    if (!d.empty()) normalized.push_back(AsDirectory(d));
  }
  std::lock_guard lock(mutex_);
  directories_ = std::move(normalized);
}

std::string SoundFilePaths::MakeRelativePath(std::string_view original) const {
  if (original.empty()) return {};
  const std::string normalized = WithForwardSlashes(original);
  const std::string_view path = normalized;
  std::lock_guard lock(mutex_);
  auto relativeTo = [&](const std::string& base) { return IsProperPrefixIgnoringCase(base, path); };
  if (relativeTo(documentDirectory_)) return std::string(path.substr(documentDirectory_.size()));
  for (const auto& d : directories_) {
    if (relativeTo(d)) return std::string(path.substr(d.size()));
  }
  if (relativeTo(applicationDirectory_))
    return std::string(path.substr(applicationDirectory_.size()));
  return std::string(path);
}

std::vector<std::string> SoundFilePaths::Bases(const std::string& documentDirectory) const {
  std::vector<std::string> bases{documentDirectory};
  std::lock_guard lock(mutex_);
  bases.insert(bases.end(), directories_.begin(), directories_.end());
  bases.push_back(applicationDirectory_);
  return bases;
}

std::string SoundFilePaths::Find(const std::string& relativeName,
                                 const std::string& documentDirectory) const {
  const std::vector<std::string> bases = Bases(documentDirectory);
  for (const auto& base : bases) {
    if (std::string candidate = base + relativeName; IsFile(candidate)) return candidate;
  }
  for (const auto& base : bases) {
    if (std::string candidate = base + relativeName; Exists(candidate)) return candidate;
  }
  return {};
}

std::string SoundFilePaths::ResolveSoundFile(std::string_view name) const {
  if (name.empty()) return {};
  const std::string relative = WithForwardSlashes(name);
  // An absolute name means itself; it is not looked for under the bases.
  if (relative.front() == '/') return std::string(name);
  std::string found = Find(relative, DocumentDirectory());
  return found.empty() ? std::string(name) : found;
}

std::string SoundFilePaths::ResolveSoundFileFrom(std::string_view name,
                                                 std::string_view documentDirectory) const {
  if (name.empty()) return {};
  const std::string relative = WithForwardSlashes(name);
  if (relative.front() == '/') return std::string(name);
  std::string found = Find(relative, AsDirectory(documentDirectory));
  return found.empty() ? std::string(name) : found;
}

bool SoundFilePaths::SoundFileExists(std::string_view name) const {
  return !name.empty() && IsFile(WithForwardSlashes(ResolveSoundFile(name)));
}

std::string SoundFilePaths::KeptName(std::string_view name) const {
  return KeptNameFrom(name, DocumentDirectory());
}

std::string SoundFilePaths::KeptNameFrom(std::string_view name,
                                         const std::string& documentDirectory) const {
  if (name.empty()) return {};
  const std::string relative = WithForwardSlashes(name);
  if (relative.front() == '/') return Normal(relative);
  if (const std::string found = Find(relative, documentDirectory); !found.empty()) {
    return Normal(found);
  }
  if (!documentDirectory.empty()) return Normal(documentDirectory + relative);
  return relative;
}

std::string SoundFilePaths::NameForDocument(std::string_view name,
                                            std::string_view documentDirectory) const {
  const std::string absolute = KeptName(name);
  if (absolute.empty() || absolute.front() != '/') return absolute;  // its place is unknown
  const std::string directory = documentDirectory.empty()
                                    ? std::string()
                                    : AsDirectory(Normal(std::string(documentDirectory)));
  for (const std::string& base : Bases(directory)) {
    if (!IsProperPrefixIgnoringCase(base, absolute)) continue;
    std::string candidate = absolute.substr(base.size());
    if (SameFile(KeptNameFrom(candidate, directory), absolute)) return candidate;
  }
  return absolute;
}

void SoundFilePaths::Load(const SettingsStore& settings) {
  const std::string group = SettingsGroup(kGroupName);
  std::vector<std::string> list;
  for (size_t i = 0;; ++i) {
    const auto path = settings.ReadString(group, PathKey(i));
    if (!path) break;
    list.push_back(*path);
  }
  SetDirectories(list);
}

void SoundFilePaths::Store(SettingsStore& settings) const {
  const std::string group = SettingsGroup(kGroupName);
  const std::vector<std::string> list = Directories();
  for (size_t i = 0; i < list.size(); ++i) settings.WriteString(group, PathKey(i), list[i]);
  for (size_t i = list.size(); settings.ReadString(group, PathKey(i)); ++i) {
    settings.Remove(group, PathKey(i));
  }
}

bool IsOnPseudoFileSystem(std::string_view path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(WithForwardSlashes(path), ec);
  if (ec) return false;
  p = p.lexically_normal();
  for (const char* root : {"/proc", "/sys", "/dev"}) {
    const std::filesystem::path r(root);
    if (std::mismatch(r.begin(), r.end(), p.begin(), p.end()).first == r.end()) return true;
  }
  return false;
}

void SetDocumentDirectory(std::string_view documentFileName) {
  SoundFilePaths::Instance().SetDocumentDirectory(documentFileName);
}
std::string MakeRelativePath(std::string_view path) {
  return SoundFilePaths::Instance().MakeRelativePath(path);
}
std::string ResolveSoundFile(std::string_view name) {
  return SoundFilePaths::Instance().ResolveSoundFile(name);
}
bool SoundFileExists(std::string_view name) {
  return SoundFilePaths::Instance().SoundFileExists(name);
}

}  // namespace tg
