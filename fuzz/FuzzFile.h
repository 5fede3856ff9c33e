#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

// The fuzz input as a file, since the readers under test open files by name.
inline std::string FuzzInputAsFile(const uint8_t* data, size_t size) {
  static const std::string name =
      (access("/dev/shm", W_OK) == 0 ? "/dev/shm/tonegarden-fuzz-" : "/tmp/tonegarden-fuzz-") +
      std::to_string(getpid());
  FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return name;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return name;
}
