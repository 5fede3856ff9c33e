#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tg::filenames {

// The most bytes one name in a folder may have (NAME_MAX on Linux file systems).
inline constexpr size_t kMostNameBytes = 255;

// The name cut to at most mostBytes, never inside a UTF-8 character, so that
// names made from it (a temporary's, a crash copy's) can still be created.
std::string Shortened(std::string_view name, size_t mostBytes);

// Whether two names stand for one file: the same file on the disk, or, while
// either is not there (yet), the same absolute name.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace tg::filenames
