#include "forms/TSweepForm.h"

#include <QGridLayout>
#include <QLabel>
#include <algorithm>

#include "controls/KWDWSlider.h"
#include "controls/KWRangeSlider.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

namespace {
constexpr int kControlWidth = 140;
constexpr int kControlHeight = 24;
}  // namespace

TSweepForm::TSweepForm(TGardeningContraption& contraption, QWidget* parent, Parameters parameters,
                       const Look& look)
    : TContraptionForm(contraption, parent),
      parameters_(parameters),
      range_(new KWRangeSlider(Body())),
      rate_(new KWDWSlider(Body())),
      feedback_(new KWDWSlider(Body())),
      amount_(new KWDWSlider(Body())) {
  setWindowTitle(look.title);
  range_->SetVertical(false);
  range_->SetScale(ValueScale::Logarithmic);
  range_->setFixedSize(kControlWidth, kControlHeight);
  TakeRange(range_, "MinFrequency");
  for (KWDWSlider* slider : {rate_, feedback_, amount_}) {
    slider->SetVertical(false);
    slider->setFixedSize(kControlWidth, kControlHeight);
  }
  rate_->SetScale(ValueScale::Logarithmic);
  TakeRange(rate_, "Rate");
  TakeRange(feedback_, "Feedback");
  TakeRange(amount_, look.amountName);

  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(4);
  const std::pair<const char*, QWidget*> rows[] = {{"Range:", range_},
                                                   {"Rate:", rate_},
                                                   {"Feedback:", feedback_},
                                                   {look.amountCaption, amount_}};
  int row = 0;
  for (const auto& [caption, control] : rows) {
    grid->addWidget(new QLabel(caption, Body()), row, 0);
    grid->addWidget(control, row, 1);
    ++row;
  }

  connect(range_, &KWRangeSlider::OnChange, this, [this](double lo, double hi) {
    Edit(parameters_.minFrequency, lo);
    Edit(parameters_.maxFrequency, hi);
  });
  connect(rate_, &KWDWSlider::OnChange, this, [this](double v) { Edit(parameters_.rate, v); });
  connect(feedback_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(parameters_.feedback, v); });
  connect(amount_, &KWDWSlider::OnChange, this, [this](double v) { Edit(parameters_.amount, v); });
  PlaceDesigned(QSize(look.designedWidth, 123 + kHeaderHeight));
}

void TSweepForm::UpdateControls() {
  const QSignalBlocker a(range_), b(rate_), c(feedback_), d(amount_);
  // The sweep runs between the two ends whichever is higher; the slider
  // holds them in order.
  const double lo = parameters_.minFrequency.Value();
  const double hi = parameters_.maxFrequency.Value();
  range_->SetValue1(std::max(lo, hi));
  range_->SetValue0(std::min(lo, hi));
  rate_->SetValue(parameters_.rate.Value());
  feedback_->SetValue(parameters_.feedback.Value());
  amount_->SetValue(parameters_.amount.Value());
  TContraptionForm::UpdateControls();
}

}  // namespace tg
