#pragma once

#include <array>

class QComboBox;
class QWidget;

namespace tg {

class KWNumberEdit;
class KWRangeSlider;
class QSRangeProperty;

// What the two granulator windows share.
namespace grain_controls {

// The grid list's entries, in clock ticks (0 = no grid), top to bottom.
inline constexpr std::array<int, 12> kGridClocks = {0, 96, 48, 32, 24, 16, 12, 8, 6, 4, 3, 2};

struct Row {
  int top;
  int height;
};

// The bottom row, "Grid:" with its list and "Max Grains:", laid out from left
// so that it ends 4 pixels above the body's bottom in a client area of
// clientHeight. The caller takes the number edit's range.
Row PlaceGridRow(QWidget* body, int left, int clientHeight, QComboBox* grid,
                 KWNumberEdit* maxGrains);
// The grid entry for a number of ticks; other numbers leave the list as it is.
void ShowGrid(QComboBox* grid, int clocks);
// The ticks of a grid entry, or -1 for none.
int GridClocksAt(int index);
// Sorted, so a range stored upside down still shows as a range.
void ShowRange(KWRangeSlider* slider, const QSRangeProperty& p);

}  // namespace grain_controls
}  // namespace tg
