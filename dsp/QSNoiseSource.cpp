#include "dsp/QSNoiseSource.h"

#include <atomic>
#include <ctime>

namespace tg {

namespace {

std::atomic<uint32_t> gSourcesMade{0};
std::atomic<bool> gFixed{false};
std::atomic<uint32_t> gFixedBase{0};

// A bijective 32-bit mix: neighbouring counts give unrelated seeds.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

}  // namespace

int32_t QSNoiseSource::ClockSeed() {
  const uint32_t count = gSourcesMade.fetch_add(1, std::memory_order_relaxed);
  const uint32_t base =
      gFixed.load() ? gFixedBase.load() : static_cast<uint32_t>(std::time(nullptr));
  return static_cast<int32_t>(Mix(base ^ Mix(count + 0x9e3779b9u)));
}

void QSNoiseSource::FixSeeds(uint32_t base) {
  gFixedBase.store(base);
  gSourcesMade.store(0);
  gFixed.store(true);
}

}  // namespace tg
