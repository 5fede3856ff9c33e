#pragma once

#include <cstdint>
#include <string>

namespace tg {

// What the user is told about frames a take lost because the disk fell
// behind: "" when none were lost, otherwise e.g. "take: 1.2 s lost (disk too
// slow)". Never rounds a loss down to nothing.
std::string LostFramesMessage(uint64_t lostFrames);
// The same when the disk refused the take, with its reason in place of the
// speed: "take: 1.2 s lost (No space left on device)", or, when every frame
// got there but the file could not be finished, "take: not completely saved
// (Input/output error)". An empty reason means the disk was only too slow.
std::string LostFramesMessage(uint64_t lostFrames, const std::string& diskError);

}  // namespace tg
