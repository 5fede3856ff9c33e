#pragma once

#include <cstdint>
#include <string>

namespace tg {

// What the user is told about frames a take lost because the disk fell
// behind: "" when none were lost, otherwise e.g. "take: 1.2 s lost (disk too
// slow)". Never rounds a loss down to nothing.
std::string LostFramesMessage(uint64_t lostFrames);

}  // namespace tg
