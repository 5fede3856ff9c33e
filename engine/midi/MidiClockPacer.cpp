#include "engine/midi/MidiClockPacer.h"

#include "engine/midi/BlockTimeline.h"

namespace tg {

int64_t MidiClockPacer::DueTime(int64_t renderedFrame, const PlayoutMark::Reading& mark) {
  return mark.steadyNanoseconds +
         BlockTimeline::FramesToNanoseconds(renderedFrame - mark.framesBefore + mark.latencyFrames);
}

}  // namespace tg
