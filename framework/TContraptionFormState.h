#pragma once

#include <algorithm>
#include <cstdint>

namespace tg {

// What a document keeps of a contraption's place on screen: its node in the
// patcher pane and its editor window in the properties pane (in pane content
// coordinates). The window itself belongs to the windowed program.
struct TContraptionFormState {
  // Places read from text are held within this, far beyond any screen, so
  // that moving them on cannot overflow.
  static constexpr int32_t kMaxPlace = 100000;
  static int32_t Bounded(int64_t place) {
    return static_cast<int32_t>(std::clamp<int64_t>(place, -kMaxPlace, kMaxPlace));
  }

  int32_t nodeX = 0;
  int32_t nodeY = 0;
  bool windowOpen = false;
  int32_t windowTop = 0;
  int32_t windowLeft = 0;
  // Not stored: whether the window position came from a document or a
  // window. A new contraption's first window looks for a free place instead.
  bool windowPlaced = false;
};

}  // namespace tg
