#include "contraptions/effects/nastyreverb/TNastyReverbForm.h"

#include <QLabel>
#include <algorithm>

#include "contraptions/effects/nastyreverb/TGCmixReverb.h"
#include "controls/KWDWSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

TNastyReverbForm::TNastyReverbForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGCmixReverb&>(contraption.Processor())),
      reverbTime_(new KWDWSlider(Body())),
      wetness_(new KWDWSlider(Body())) {
  setWindowTitle("NastyReverb");
  QWidget* body = Body();
  constexpr int kSliderLength = 140;
  constexpr int kReverbSliderHeight = 24;
  constexpr int kRowTop[2] = {6, 36};
  QLabel* timeLabel = PlaceLabel("Reverb time:", body, 4, 0);
  QLabel* mixLabel = PlaceLabel("Wet/dry mix:", body, 4, 0);
  const int sliderX = std::max(timeLabel->width(), mixLabel->width()) + 8;
  QLabel* labels[2] = {timeLabel, mixLabel};
  KWDWSlider* sliders[2] = {reverbTime_, wetness_};
  for (int row = 0; row < 2; ++row) {
    KWDWSlider* slider = sliders[row];
    slider->SetVertical(false);
    slider->setGeometry(sliderX, kRowTop[row], kSliderLength, kReverbSliderHeight);
    labels[row]->move(4, kRowTop[row] + (kReverbSliderHeight - labels[row]->height()) / 2);
  }
  TakeRange(reverbTime_, "ReverbTime");
  TakeRange(wetness_, "WetDryMix");
  connect(reverbTime_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.reverbTime, v); });
  connect(wetness_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.wetDryMix, v); });

  // Larger fonts than designed for make the window grow rather than cut.
  const QRect used = body->childrenRect();
  body->setMinimumSize(used.right() + 5, used.bottom() + 3);
  PlaceDesigned(QSize(212, 73 + kHeaderHeight));
}

void TNastyReverbForm::UpdateControls() {
  const QSignalBlocker a(reverbTime_), b(wetness_);
  reverbTime_->SetValue(processor_.reverbTime.Value());
  wetness_->SetValue(processor_.wetDryMix.Value());
  TContraptionForm::UpdateControls();
}

void RegisterNastyReverbWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TNastyReverbForm>(type);
}

}  // namespace tg
