#pragma once

#include <istream>
#include <limits>
#include <string>

namespace tg::documenttext {

// Reads up to the line break (at most limit characters are kept; the rest of
// a longer line is dropped) and consumes the break. False at end of input.
inline bool ReadLine(std::istream& in, std::string& line, size_t limit) {
  line.clear();
  if (in.peek() == std::char_traits<char>::eof()) return false;
  for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
    if (line.size() < limit) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

inline void SkipRestOfLine(std::istream& in) {
  in.clear(in.rdstate() & ~std::ios::failbit);
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

}  // namespace tg::documenttext
