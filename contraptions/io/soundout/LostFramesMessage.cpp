#include "contraptions/io/soundout/LostFramesMessage.h"

namespace tg {

namespace {
constexpr uint64_t kFramesPerSecond = 44100;

std::string Amount(uint64_t lostFrames) {
  if (lostFrames < kFramesPerSecond / 10) {
    // Under a tenth of a second: whole milliseconds, rounded up so a single
    // lost frame still shows.
    return std::to_string((lostFrames * 1000 + kFramesPerSecond - 1) / kFramesPerSecond) + " ms";
  }
  const uint64_t tenths = lostFrames * 10 / kFramesPerSecond;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}
}  // namespace

std::string LostFramesMessage(uint64_t lostFrames) { return LostFramesMessage(lostFrames, {}); }

std::string LostFramesMessage(uint64_t lostFrames, const std::string& diskError) {
  if (diskError.empty()) {
    if (lostFrames == 0) return {};
    return "take: " + Amount(lostFrames) + " lost (disk too slow)";
  }
  if (lostFrames == 0) return "take: not completely saved (" + diskError + ")";
  return "take: " + Amount(lostFrames) + " lost (" + diskError + ")";
}

}  // namespace tg
