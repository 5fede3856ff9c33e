#include "forms/GrainControls.h"

#include <QComboBox>
#include <QLabel>
#include <algorithm>

#include "controls/KWNumberEdit.h"
#include "controls/KWRangeSlider.h"
#include "forms/GridNoteNames.h"
#include "properties/QSRangeProperty.h"

namespace tg::grain_controls {

namespace {

QLabel* Label(const char* text, QWidget* body, int x, int top, int rowHeight) {
  auto* label = new QLabel(text, body);
  label->resize(label->sizeHint());
  label->move(x, top + (rowHeight - label->height()) / 2);
  return label;
}

}  // namespace

Row PlaceGridRow(QWidget* body, int left, int clientHeight, QComboBox* grid,
                 KWNumberEdit* maxGrains) {
  for (int clocks : kGridClocks) grid->addItem(QString::fromStdString(GridNoteName(clocks)));
  grid->setToolTip("The grid onsets are pulled to, in notes of the tempo clock");
  const int height = std::max(grid->sizeHint().height(), KWNumberEdit::kHeight);
  // The frame around the body and the gap below the header take 6 pixels.
  const int top = clientHeight - 6 - 4 - height;
  QLabel* gridLabel = Label("Grid:", body, left, top, height);
  grid->setGeometry(gridLabel->geometry().right() + 5, top, grid->sizeHint().width(), height);
  QLabel* grainsLabel = Label("Max Grains:", body, grid->geometry().right() + 16, top, height);
  maxGrains->SetIntegersOnly(true);
  maxGrains->SetIncrement(1);
  maxGrains->SetAutoIncrement(false);
  maxGrains->setGeometry(grainsLabel->geometry().right() + 5,
                         top + (height - KWNumberEdit::kHeight) / 2, 50, KWNumberEdit::kHeight);
  maxGrains->setToolTip("Most grains sounding at once");
  return {top, height};
}

void ShowGrid(QComboBox* grid, int clocks) {
  const auto entry = std::find(kGridClocks.begin(), kGridClocks.end(), clocks);
  if (entry != kGridClocks.end())
    grid->setCurrentIndex(static_cast<int>(entry - kGridClocks.begin()));
}

int GridClocksAt(int index) {
  return index >= 0 && index < static_cast<int>(kGridClocks.size())
             ? kGridClocks[static_cast<size_t>(index)]
             : -1;
}

void ShowRange(KWRangeSlider* slider, const QSRangeProperty& p) {
  const FloatRange r = p.Value();
  slider->SetValue1(std::max(r.low, r.high));
  slider->SetValue0(std::min(r.low, r.high));
}

}  // namespace tg::grain_controls
