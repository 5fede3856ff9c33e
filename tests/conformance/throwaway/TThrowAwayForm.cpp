#include "tests/conformance/throwaway/TThrowAwayForm.h"

#include <QHBoxLayout>

#include "controls/KWDWKnob.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"
#include "tests/conformance/throwaway/TGThrowAway.h"

namespace tg::test {

TThrowAwayForm::TThrowAwayForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent) {
  auto& processor = static_cast<TGThrowAway&>(contraption.Processor());
  auto* knob = new KWDWKnob(Body());
  knob->setFixedSize(35, 35);
  TakeRange(knob, "Gain");
  knob->SetValue(processor.gain.Value());
  auto* layout = new QHBoxLayout(Body());
  layout->addWidget(knob);
  connect(knob, &KWDWKnob::OnChange, this,
          [this, &processor](double v) { Edit(processor.gain, v); });
  PlaceDesigned(QSize(90, 50 + kHeaderHeight));
}

void RegisterThrowAwayWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TThrowAwayForm>(type);
}

}  // namespace tg::test
