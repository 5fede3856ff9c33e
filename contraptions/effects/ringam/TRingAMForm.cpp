#include "contraptions/effects/ringam/TRingAMForm.h"

#include <QLabel>
#include <QRadioButton>

#include "contraptions/effects/ringam/TGRingAM.h"
#include "controls/KWDWKnob.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

TRingAMForm::TRingAMForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGRingAM&>(contraption.Processor())),
      frequency_(new KWDWKnob(Body())),
      ring_(new QRadioButton("Ring Mod", Body())),
      am_(new QRadioButton("AM", Body())) {
  setWindowTitle("RingAM");
  QWidget* body = Body();
  constexpr int kFrequencyKnob = 35;
  QLabel* label = PlaceLabel("Frequency", body, 4, 4);
  const int knobX = label->x() + (label->width() - kFrequencyKnob) / 2;
  frequency_->setGeometry(knobX, label->geometry().bottom() + 3, kFrequencyKnob, kFrequencyKnob);
  TakeRange(frequency_, "Frequency");
  const int radioX = label->geometry().right() + 12;
  ring_->move(radioX, 10);
  ring_->resize(ring_->sizeHint());
  am_->move(radioX, ring_->geometry().bottom() + 4);
  am_->resize(am_->sizeHint());
  ring_->setChecked(true);

  connect(frequency_, &KWDWKnob::OnChange, this,
          [this](double v) { Edit(processor_.frequency, v); });
  // The AM button toggles whichever of the pair is chosen, so it alone tells the mode.
  connect(am_, &QRadioButton::toggled, this, [this](bool on) { Edit(processor_.am, on); });
  // Larger fonts than designed for make the window grow rather than cut.
  const QRect used = body->childrenRect();
  body->setMinimumSize(used.right() + 5, used.bottom() + 3);
  PlaceDesigned(QSize(132, 73 + kHeaderHeight));
}

void TRingAMForm::UpdateControls() {
  const QSignalBlocker a(frequency_), b(ring_), c(am_);
  frequency_->SetValue(processor_.frequency.Value());
  am_->setChecked(processor_.am.Value());
  ring_->setChecked(!processor_.am.Value());
  TContraptionForm::UpdateControls();
}

void RegisterRingAMWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TRingAMForm>(type);
}

}  // namespace tg
