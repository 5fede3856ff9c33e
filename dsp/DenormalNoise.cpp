#include "dsp/DenormalNoise.h"

#include <ctime>

namespace tg {

DenormalNoise DenormalNoise::FromClock() {
  const auto t = static_cast<uint32_t>(std::time(nullptr));
  return DenormalNoise(static_cast<int32_t>((t & 0x7FFFu) << 16));
}

}  // namespace tg
