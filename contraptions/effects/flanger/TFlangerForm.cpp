#include "contraptions/effects/flanger/TFlangerForm.h"

#include <QGridLayout>
#include <QLabel>
#include <algorithm>

#include "contraptions/effects/flanger/TGFlanger.h"
#include "controls/KWDWSlider.h"
#include "controls/KWRangeSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {
constexpr int kControlWidth = 140;
constexpr int kFlangerControlHeight = 24;
}  // namespace

TFlangerForm::TFlangerForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGFlanger&>(contraption.Processor())),
      range_(new KWRangeSlider(Body())),
      rate_(new KWDWSlider(Body())),
      feedback_(new KWDWSlider(Body())),
      wetness_(new KWDWSlider(Body())) {
  setWindowTitle("Flanger");
  range_->SetVertical(false);
  range_->SetScale(ValueScale::Logarithmic);
  range_->setFixedSize(kControlWidth, kFlangerControlHeight);
  TakeRange(range_, "MinFrequency");
  for (KWDWSlider* slider : {rate_, feedback_, wetness_}) {
    slider->SetVertical(false);
    slider->setFixedSize(kControlWidth, kFlangerControlHeight);
  }
  rate_->SetScale(ValueScale::Logarithmic);
  TakeRange(rate_, "Rate");
  TakeRange(feedback_, "Feedback");
  TakeRange(wetness_, "WetDryMix");

  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(4);
  const std::pair<const char*, QWidget*> rows[] = {
      {"Range:", range_}, {"Rate:", rate_}, {"Feedback:", feedback_}, {"Wet/dry mix:", wetness_}};
  int row = 0;
  for (const auto& [caption, control] : rows) {
    grid->addWidget(new QLabel(caption, Body()), row, 0);
    grid->addWidget(control, row, 1);
    ++row;
  }

  connect(range_, &KWRangeSlider::OnChange, this, [this](double lo, double hi) {
    Edit(processor_.minFrequency, lo);
    Edit(processor_.maxFrequency, hi);
  });
  connect(rate_, &KWDWSlider::OnChange, this, [this](double v) { Edit(processor_.rate, v); });
  connect(feedback_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.feedback, v); });
  connect(wetness_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.wetDryMix, v); });
  PlaceDesigned(QSize(212, 123 + kHeaderHeight));
}

void TFlangerForm::UpdateControls() {
  const QSignalBlocker a(range_), b(rate_), c(feedback_), d(wetness_);
  // The sweep runs between the two ends whichever is higher; the slider
  // holds them in order.
  const double lo = processor_.minFrequency.Value();
  const double hi = processor_.maxFrequency.Value();
  range_->SetValue1(std::max(lo, hi));
  range_->SetValue0(std::min(lo, hi));
  rate_->SetValue(processor_.rate.Value());
  feedback_->SetValue(processor_.feedback.Value());
  wetness_->SetValue(processor_.wetDryMix.Value());
  TContraptionForm::UpdateControls();
}

void RegisterFlangerWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TFlangerForm>(type);
}

}  // namespace tg
