#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace tg::test {

// A path given relative to the directory of the running test program. The
// build passes such relative paths, not absolute ones, so that a clone in
// another folder compiles to the same objects and finds them in the
// compiler cache.
inline std::string BesideTestProgram(const std::string& relative) {
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
  return (program.parent_path() / relative).lexically_normal().string();
}

#ifdef TONEGARDEN_SOURCE_FROM_TESTS
// The source tree's root.
inline std::string SourceDir() {
  std::string dir = BesideTestProgram(TONEGARDEN_SOURCE_FROM_TESTS);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}
#endif

}  // namespace tg::test
