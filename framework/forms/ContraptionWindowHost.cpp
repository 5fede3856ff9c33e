#include "framework/forms/ContraptionWindowHost.h"

#include <QScrollArea>

#include "contraptions/effects/sdelay/TSDelayForm.h"
#include "contraptions/generators/testgen/TTestGenForm.h"
#include "contraptions/io/soundout/TSoundOutForm.h"
#include "contraptions/mixers/mixers/TMixerForms.h"
#include "framework/TGardeningContraption.h"
#include "framework/forms/TContraptionForm.h"

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
    contraption.MarkChanged();
  }
  window->UpdateControls();
  window->MoveToStoredPlace();
  window->show();
  window->raise();
  if (pane_ != nullptr) pane_->ensureWidgetVisible(window);
}

void ContraptionWindowHost::CloseWindow(TGardeningContraption& contraption) {
  auto it = open_.find(&contraption);
  if (it == open_.end()) return;
  if (it->second) delete it->second.data();
  open_.erase(it);
}

void RegisterContraptionWindows(ContraptionWindowHost& host) {
  host.Register<TSoundOutForm>("SoundOut");
  host.Register<TTestGenForm>("TestGen");
  host.Register<TSDelayForm>("SDelay");
  for (const char* n : {"2", "3", "4", "6", "8", "12"}) {
    host.Register<TStereoMixerForm>(std::string("S") + n + "Mixer");
    host.Register<TPanPotMixerForm>(std::string("P") + n + "Mixer");
    host.Register<TMonoMixerForm>(std::string("M") + n + "Mixer");
  }
}

}  // namespace tg
