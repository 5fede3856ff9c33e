#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tg::regularfile {

// Opens a regular file for reading, never waiting: a pipe, a folder or a
// device is refused (opening a pipe waits for a writer, reading a device may
// never end). Answers the descriptor (blocking again), or -1 with problem
// saying why, as a user reads it after the file's name: "not found", "it is
// a pipe", … Not for the audio thread.
int OpenForReading(const std::string& fileName, std::string& problem);

struct WholeFile {
  std::string text;
  // Empty when the file was read; otherwise why not, in the words of
  // OpenForReading, or "it is larger than 64 MB", "it cannot be read".
  std::string problem;
  // Whether the name could be opened at all (it may still be refused).
  bool opened = false;
};

// Reads a regular file of at most maxBytes whole. Not for the audio thread.
WholeFile ReadWhole(const std::string& fileName, uint64_t maxBytes);

}  // namespace tg::regularfile
