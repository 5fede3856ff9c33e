#pragma once

#include <cstdint>
#include <string>

namespace tg {

// The clock position rounded up to a whole tick, as the display shows it.
uint32_t ClockTickOf(double position);
// "bar:beat" for a clock tick; bars count from 0, beats from 1.
std::string FormatTimecode(uint32_t tick);

}  // namespace tg
