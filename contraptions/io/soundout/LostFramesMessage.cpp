#include "contraptions/io/soundout/LostFramesMessage.h"

namespace tg {

namespace {
constexpr uint64_t kRate = 44100;
}  // namespace

std::string LostFramesMessage(uint64_t lostFrames) {
  if (lostFrames == 0) return {};
  std::string amount;
  if (lostFrames < kRate / 10) {
    // Under a tenth of a second: whole milliseconds, rounded up so a single
    // lost frame still shows.
    amount = std::to_string((lostFrames * 1000 + kRate - 1) / kRate) + " ms";
  } else {
    const uint64_t tenths = lostFrames * 10 / kRate;
    amount = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
  }
  return "take: " + amount + " lost (disk too slow)";
}

}  // namespace tg
