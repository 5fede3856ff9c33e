#include "dsp/QSNoiseSource.h"

#include <ctime>

namespace tg {

int32_t QSNoiseSource::ClockSeed() {
  const auto t = static_cast<uint32_t>(std::time(nullptr));
  return static_cast<int32_t>((t & 0x7FFFu) << 16);
}

}  // namespace tg
