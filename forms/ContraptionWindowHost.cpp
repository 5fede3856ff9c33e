#include "forms/ContraptionWindowHost.h"

#include <QScrollArea>
#include <algorithm>
#include <vector>

#include "forms/TContraptionForm.h"
#include "framework/TGardeningContraption.h"

namespace tg {

TContraptionForm* ContraptionWindowHost::WindowOf(const TGardeningContraption& contraption) const {
  auto it = open_.find(&contraption);
  return it == open_.end() ? nullptr : it->second.data();
}

void ContraptionWindowHost::ShowWindow(TGardeningContraption& contraption) {
  TContraptionForm* window = WindowOf(contraption);
  if (window == nullptr) {
    auto maker = makers_.find(contraption.TypeName());
    if (maker == makers_.end()) return;  // a type without a window
    QWidget* parent = pane_ != nullptr ? pane_->widget() : nullptr;
    window = maker->second(contraption, parent);
    open_[&contraption] = window;
    TContraptionFormState& state = contraption.WindowState();
    if (!state.windowPlaced && parent != nullptr) {
      const int width = pane_->viewport()->width();
      const QPoint free = FreePlace(*parent, window, std::max(width, window->width()));
      state.windowLeft = free.x();
      state.windowTop = free.y();
      state.windowPlaced = true;
    }
    contraption.MarkChanged();
    window->MoveToStoredPlace();
  }
  // An open window is raised where the user left it.
  window->UpdateControls();
  window->show();
  window->raise();
  // A pane not yet on screen has no size to scroll by: the program shows a
  // document from its top-left corner.
  if (pane_ != nullptr && pane_->isVisible()) pane_->ensureWidgetVisible(window);
}

void ContraptionWindowHost::CloseWindow(TGardeningContraption& contraption) {
  auto it = open_.find(&contraption);
  if (it == open_.end()) return;
  if (it->second) delete it->second.data();
  open_.erase(it);
}

void ContraptionWindowHost::RefreshWindow(TGardeningContraption& contraption) {
  TContraptionForm* window = WindowOf(contraption);
  if (window == nullptr) return;
  window->MoveToStoredPlace();
  window->UpdateControls();
}

QPoint ContraptionWindowHost::FreePlace(const QWidget& content, const QWidget* window, int width) {
  std::vector<QRect> taken;
  for (const QObject* child : content.children()) {
    const auto* other = qobject_cast<const TContraptionForm*>(child);
    if (other != nullptr && other != window && other->isVisible()) {
      taken.push_back(other->geometry().adjusted(0, 0, TContraptionForm::kGrid - 1,
                                                 TContraptionForm::kGrid - 1));
    }
  }
  const QSize size = window->size();
  // Row by row on the grid, within the visible width; far down there is
  // always room.
  for (int y = 0; y < 20000; y += TContraptionForm::kGrid) {
    for (int x = 0; x == 0 || x + size.width() <= width; x += TContraptionForm::kGrid) {
      const QRect place(QPoint(x, y), size);
      if (std::none_of(taken.begin(), taken.end(),
                       [&](const QRect& r) { return r.intersects(place); })) {
        return {x, y};
      }
    }
  }
  return {0, 0};
}

}  // namespace tg
