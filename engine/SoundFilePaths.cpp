#include "engine/SoundFilePaths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "framework/host/SettingsStore.h"

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
  return paths;
}

void SoundFilePaths::SetDocumentDirectory(std::string_view documentFileName) {
  const std::string name = WithForwardSlashes(documentFileName);
  const size_t slash = name.rfind('/');
  std::lock_guard lock(mutex_);
  documentDirectory_ = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
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

std::string SoundFilePaths::ResolveSoundFile(std::string_view name) const {
  if (name.empty()) return {};
  const std::string relative = WithForwardSlashes(name);
  // An absolute name means itself; it is not looked for under the bases.
  if (relative.front() == '/') return std::string(name);
  std::vector<std::string> bases;
  {
    std::lock_guard lock(mutex_);
    bases.push_back(documentDirectory_);
    bases.insert(bases.end(), directories_.begin(), directories_.end());
    bases.push_back(applicationDirectory_);
  }
  for (const auto& base : bases) {
    std::string candidate = base + relative;
    if (IsFile(candidate)) return candidate;
  }
  return std::string(name);
}

bool SoundFilePaths::SoundFileExists(std::string_view name) const {
  return !name.empty() && IsFile(WithForwardSlashes(ResolveSoundFile(name)));
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
