#include "contraptions/effects/sdelay/TSDelayForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "contraptions/effects/sdelay/TGSDelay.h"
#include "controls/KWDWKnob.h"
#include "controls/KWNumberEdit.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"
#include "graph/QSDynSigContext.h"

namespace tg {
namespace {

int TruncToInt(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::trunc(std::clamp(v, -1e9, 1e9)));
}

}  // namespace

int TSDelayForm::ToMilliseconds(double semiquavers, double m) {
  return TruncToInt(semiquavers * m);
}

int TSDelayForm::ToSemiquavers(double milliseconds, double m) {
  return std::max(1, TruncToInt((milliseconds + 1.0) / m));
}

TSDelayForm::TSDelayForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGSDelay&>(contraption.Processor())),
      units_(new QComboBox(Body())),
      left_(new KWNumberEdit(Body())),
      right_(new KWNumberEdit(Body())),
      feedback_(new KWDWKnob(Body())),
      mix_(new KWDWKnob(Body())) {
  setWindowTitle("SDelay");
  units_->addItems({"Milliseconds", "Semiquavers"});
  for (KWNumberEdit* edit : {left_, right_}) {
    edit->SetIntegersOnly(true);
    edit->SetIncrement(1);
    edit->SetAutoIncrement(false);
    edit->setFixedWidth(60);
  }
  for (KWDWKnob* knob : {feedback_, mix_}) knob->setFixedSize(35, 35);
  TakeRange(feedback_, "Feedback");
  TakeRange(mix_, "WetDryMix");
  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel("Delay units:", Body()), 0, 0, 1, 2);
  grid->addWidget(units_, 1, 0, 1, 2);
  grid->addWidget(new QLabel("Delay times:", Body()), 2, 0, 1, 2);
  grid->addWidget(new QLabel("Left:", Body()), 3, 0);
  grid->addWidget(left_, 3, 1);
  grid->addWidget(new QLabel("Right:", Body()), 4, 0);
  grid->addWidget(right_, 4, 1);
  grid->addWidget(new QLabel("Feedback", Body()), 0, 2, Qt::AlignHCenter);
  grid->addWidget(feedback_, 1, 2, 2, 1, Qt::AlignHCenter);
  grid->addWidget(new QLabel("Wet/Dry mix", Body()), 3, 2, Qt::AlignHCenter);
  grid->addWidget(mix_, 4, 2, 2, 1, Qt::AlignHCenter);

  connect(units_, &QComboBox::currentIndexChanged, this, [this](int i) { ChangeUnits(i); });
  connect(left_, &KWNumberEdit::OnChange, this,
          [this](double v) { Edit(processor_.leftDelay, TruncToInt(v)); });
  connect(right_, &KWNumberEdit::OnChange, this,
          [this](double v) { Edit(processor_.rightDelay, TruncToInt(v)); });
  connect(feedback_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.feedback, v); });
  connect(mix_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.wetDryMix, v); });
  PlaceDesigned(QSize(162, 133 + kHeaderHeight));
}

void TSDelayForm::SetRanges() {
  const bool semiquavers = processor_.delayUnits.Value() == 1;
  for (KWNumberEdit* edit : {left_, right_}) {
    edit->SetMin(semiquavers ? 1 : TGSDelay::kMinDelayMs);
    edit->SetMax(semiquavers ? TGSDelay::kMaxSemiquavers : ParameterInfo("LeftDelay").maximum);
  }
}

void TSDelayForm::ChangeUnits(int units) {
  if (units < 0 || units == processor_.delayUnits.Value()) return;
  const double m = TGSDelay::MillisecondsPerSemiquaver(
      processor_.Context() != nullptr ? processor_.Context()->Clock().SamplesPerClock() : 918.75);
  const double l = processor_.leftDelay.Value();
  const double r = processor_.rightDelay.Value();
  if (units == 0) {
    processor_.delayUnits.SetValue(0);
    processor_.leftDelay.SetValue(ToMilliseconds(l, m));
    processor_.rightDelay.SetValue(ToMilliseconds(r, m));
  } else {
    processor_.leftDelay.SetValue(ToSemiquavers(l, m));
    processor_.rightDelay.SetValue(ToSemiquavers(r, m));
    processor_.delayUnits.SetValue(1);
  }
  ParameterEdited();
  // The new range must not clamp the old values back into the properties.
  const QSignalBlocker a(left_), b(right_);
  SetRanges();
  left_->SetValue(processor_.leftDelay.Value());
  right_->SetValue(processor_.rightDelay.Value());
}

void TSDelayForm::UpdateControls() {
  const QSignalBlocker a(units_), b(left_), c(right_), d(feedback_), e(mix_);
  units_->setCurrentIndex(processor_.delayUnits.Value() == 1 ? 1 : 0);
  SetRanges();
  left_->SetValue(processor_.leftDelay.Value());
  right_->SetValue(processor_.rightDelay.Value());
  feedback_->SetValue(processor_.feedback.Value());
  mix_->SetValue(processor_.wetDryMix.Value());
  TContraptionForm::UpdateControls();
}

void RegisterSDelayWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TSDelayForm>(type);
}

}  // namespace tg
