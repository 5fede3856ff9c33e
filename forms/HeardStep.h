#pragma once

#include <cstdint>

#include "controls/KWStepGrid.h"
#include "framework/ContraptionEngine.h"
#include "framework/TGardeningContraption.h"

namespace tg {

// A sequencer grid's playhead: the step of the clock tick being heard, none
// while the clock is stopped or paused there. Read without the engine lock.
inline KWStepGrid::PlayheadFunction HeardStep(const TGardeningContraption& contraption,
                                              int ticksPerStep, int steps) {
  ContraptionEngine* engine = &contraption.Engine();
  return [engine, ticksPerStep, steps] {
    uint32_t tick = 0;
    if (!engine->HeardClockTick(tick)) return -1;
    return static_cast<int>(tick / static_cast<uint32_t>(ticksPerStep) %
                            static_cast<uint32_t>(steps));
  };
}

}  // namespace tg
