#include "contraptions/effects/phaser/TPhaserForm.h"

#include <QGridLayout>
#include <QLabel>
#include <algorithm>

#include "contraptions/effects/phaser/TGPhaser.h"
#include "controls/KWDWSlider.h"
#include "controls/KWRangeSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {
constexpr int kPhaserControlWidth = 140;
constexpr int kPhaserControlHeight = 24;
}  // namespace

TPhaserForm::TPhaserForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGPhaser&>(contraption.Processor())),
      range_(new KWRangeSlider(Body())),
      rate_(new KWDWSlider(Body())),
      feedback_(new KWDWSlider(Body())),
      depth_(new KWDWSlider(Body())) {
  setWindowTitle("Phaser");
  range_->SetVertical(false);
  range_->SetScale(ValueScale::Logarithmic);
  range_->setFixedSize(kPhaserControlWidth, kPhaserControlHeight);
  TakeRange(range_, "MinFrequency");
  for (KWDWSlider* slider : {rate_, feedback_, depth_}) {
    slider->SetVertical(false);
    slider->setFixedSize(kPhaserControlWidth, kPhaserControlHeight);
  }
  rate_->SetScale(ValueScale::Logarithmic);
  TakeRange(rate_, "Rate");
  TakeRange(feedback_, "Feedback");
  TakeRange(depth_, "Depth");

  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(4);
  const std::pair<const char*, QWidget*> rows[] = {
      {"Range:", range_}, {"Rate:", rate_}, {"Feedback:", feedback_}, {"Depth:", depth_}};
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
  connect(depth_, &KWDWSlider::OnChange, this, [this](double v) { Edit(processor_.depth, v); });
  PlaceDesigned(QSize(214, 123 + kHeaderHeight));
}

void TPhaserForm::UpdateControls() {
  const QSignalBlocker a(range_), b(rate_), c(feedback_), d(depth_);
  // The sweep runs between the two ends whichever is higher; the slider
  // holds them in order.
  const double lo = processor_.minFrequency.Value();
  const double hi = processor_.maxFrequency.Value();
  range_->SetValue1(std::max(lo, hi));
  range_->SetValue0(std::min(lo, hi));
  rate_->SetValue(processor_.rate.Value());
  feedback_->SetValue(processor_.feedback.Value());
  depth_->SetValue(processor_.depth.Value());
  TContraptionForm::UpdateControls();
}

void RegisterPhaserWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TPhaserForm>(type);
}

}  // namespace tg
