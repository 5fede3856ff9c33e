#pragma once

#include <string>

namespace tg {

// The note a grid of `clocks` tempo-clock ticks (24 a beat, 96 a bar) stands
// for: "1" a bar, "1/4" a beat, "1/4t" a triplet beat; 0 is no grid.
inline std::string GridNoteName(int clocks) {
  constexpr int kBar = 96;
  if (clocks <= 0) return "[none]";
  const auto isPowerOfTwo = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
  if (kBar % clocks == 0 && isPowerOfTwo(kBar / clocks)) {
    const int n = kBar / clocks;
    return n == 1 ? std::string("1") : "1/" + std::to_string(n);
  }
  // Three in the time of two.
  if ((2 * kBar) % (3 * clocks) == 0 && isPowerOfTwo(2 * kBar / (3 * clocks))) {
    std::string name = "1/" + std::to_string(2 * kBar / (3 * clocks));
    name.append("t");
    return name;
  }
  return std::to_string(clocks);
}

}  // namespace tg
