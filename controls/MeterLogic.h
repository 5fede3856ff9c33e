#pragma once

#include <cstdint>

namespace tg::meter {

// How many segments a level lights: one more for every doubling.
int LitSegments(float level, int segmentCount);

enum class SegmentColour { DarkGreen, Green, Yellow, Red };
SegmentColour ColourOf(int segment, int segmentCount);

}  // namespace tg::meter
