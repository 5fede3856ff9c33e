#include "contraptions/effects/dlgranulator/TDLGranulatorForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "contraptions/effects/dlgranulator/TGDLGranulator.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWRangeSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/GrainControls.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr int kDLGranulatorClientWidth = 472;
constexpr int kDLGranulatorClientHeight = 173;
constexpr int kDLGranulatorColumn = 38;
constexpr int kDLGranulatorLeft = 6;
constexpr int kDLGranulatorSliderTop = 18;
constexpr int kSliderHeight = 114;
constexpr int kDLGranulatorSliderWidth = 24;

}  // namespace

TDLGranulatorForm::TDLGranulatorForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGDLGranulator&>(contraption.Processor())),
      delay_(new KWRangeSlider(Body())),
      amp_(new KWRangeSlider(Body())),
      pan_(new KWRangeSlider(Body())),
      pitch_(new KWRangeSlider(Body())),
      iot_(new KWRangeSlider(Body())),
      gdur_(new KWRangeSlider(Body())),
      trapFact_(new KWRangeSlider(Body())),
      skew_(new KWRangeSlider(Body())),
      feedback_(new KWDWSlider(Body())),
      mix_(new KWDWSlider(Body())),
      inputGain_(new KWDWSlider(Body())),
      quant_(new KWDWSlider(Body())),
      quantCombo_(new QComboBox(Body())),
      maxGrains_(new KWNumberEdit(Body())),
      freeze_(new QCheckBox("Freeze", Body())) {
  setWindowTitle("DLGranulator");
  QWidget* body = Body();

  // One column a control: its caption above, the slider below.
  int column = 0;
  auto place = [&](QWidget* control, const char* caption, const char* tip) {
    const int x = kDLGranulatorLeft + column * kDLGranulatorColumn;
    QLabel* label = PlaceLabel(caption, body, x, 2);
    label->move(x + (kDLGranulatorColumn - label->width()) / 2, 2);
    control->setGeometry(x + (kDLGranulatorColumn - kDLGranulatorSliderWidth) / 2,
                         kDLGranulatorSliderTop, kDLGranulatorSliderWidth, kSliderHeight);
    control->setToolTip(tip);
    ++column;
  };
  const std::pair<KWRangeSlider*, const char*> ranges[] = {
      {delay_, "DelayTime"},      {amp_, "Amplitude"},      {pan_, "Panning"},
      {pitch_, "PitchScaler"},    {iot_, "InteronsetTime"}, {gdur_, "GrainDuration"},
      {trapFact_, "AttDecRatio"}, {skew_, "GrainSkew"}};
  for (const auto& [slider, parameter] : ranges) {
    slider->SetVertical(true);
    TakeRange(slider, parameter);
  }
  pitch_->SetScale(ValueScale::Octave);
  pitch_->AddTick(1.0);
  iot_->SetScale(ValueScale::Logarithmic);
  gdur_->SetScale(ValueScale::Logarithmic);
  skew_->AddTick(0.5);
  place(delay_, "Delay", "How far back in the line grains start, 0–9500 ms");
  place(amp_, "Amp", "Grain amplitude");
  place(pan_, "Pan", "Grain pan position, left to right");
  place(pitch_, "Trans", "Grain transposition, two octaves down to two up");
  place(iot_, "IOT", "Time between grain onsets, 2–2000 ms");
  place(gdur_, "GDur", "Grain length, 5–500 ms");
  place(trapFact_, "Shape", "Share of the grain held at full level");
  place(skew_, "Skew", "Share of the rest given to the attack");

  const std::pair<KWDWSlider*, const char*> sliders[] = {{feedback_, "Feedback"},
                                                         {mix_, "WetDryMix"},
                                                         {inputGain_, "InputGain"},
                                                         {quant_, "QuantizeAmount"}};
  for (const auto& [slider, parameter] : sliders) {
    slider->SetVertical(true);
    TakeRange(slider, parameter);
  }
  place(feedback_, "Feed", "Grains fed back into the line");
  place(mix_, "Mix", "Dry input (bottom) to grains only (top)");
  place(inputGain_, "InGain", "Gain of the input into the line");
  place(quant_, "Quant", "How far onsets move to the grid");

  // Below: the grid, the grain limit and Freeze.
  const grain_controls::Row row = grain_controls::PlaceGridRow(
      body, kDLGranulatorLeft, kDLGranulatorClientHeight, quantCombo_, maxGrains_);
  TakeRange(maxGrains_, "MaxGrains");
  freeze_->setToolTip("Stop writing the line: the grains keep playing what it holds");
  freeze_->resize(freeze_->sizeHint());
  freeze_->move(maxGrains_->geometry().right() + 16,
                row.top + (row.height - freeze_->height()) / 2);

  const auto editRange = [this](KWRangeSlider* slider, QSRangeProperty& p) {
    connect(slider, &KWRangeSlider::OnChange, this, [this, &p](double lo, double hi) {
      Edit(p, FloatRange{static_cast<float>(lo), static_cast<float>(hi)});
    });
  };
  editRange(delay_, processor_.delayTime);
  editRange(amp_, processor_.amplitude);
  editRange(pan_, processor_.panning);
  editRange(pitch_, processor_.pitchScaler);
  editRange(iot_, processor_.interonsetTime);
  editRange(gdur_, processor_.grainDuration);
  editRange(trapFact_, processor_.attDecRatio);
  editRange(skew_, processor_.grainSkew);
  const auto editValue = [this](KWDWSlider* slider, QSDoubleProperty& p) {
    connect(slider, &KWDWSlider::OnChange, this, [this, &p](double v) { Edit(p, v); });
  };
  editValue(feedback_, processor_.feedback);
  editValue(mix_, processor_.wetDryMix);
  editValue(inputGain_, processor_.inputGain);
  editValue(quant_, processor_.quantizeAmount);
  connect(quantCombo_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (const int clocks = grain_controls::GridClocksAt(i); clocks >= 0)
      Edit(processor_.quantizeClocks, clocks);
  });
  connect(maxGrains_, &KWNumberEdit::OnChange, this, [this](double v) {
    if (std::isfinite(v))
      Edit(processor_.maxGrains, static_cast<int32_t>(std::clamp(v, 1.0, 20.0)));
  });
  // Freeze is a performance switch, not a setting: the document keeps none.
  connect(freeze_, &QCheckBox::toggled, this, [this](bool on) { processor_.freeze.SetValue(on); });
  PlaceDesigned(QSize(kDLGranulatorClientWidth, kDLGranulatorClientHeight + kHeaderHeight));
}

void TDLGranulatorForm::UpdateControls() {
  const QSignalBlocker b0(delay_), b1(amp_), b2(pan_), b3(pitch_), b4(iot_), b5(gdur_),
      b6(trapFact_), b7(skew_), b8(feedback_), b9(mix_), b10(inputGain_), b11(quant_),
      b12(quantCombo_), b13(maxGrains_), b14(freeze_);
  grain_controls::ShowRange(delay_, processor_.delayTime);
  grain_controls::ShowRange(amp_, processor_.amplitude);
  grain_controls::ShowRange(pan_, processor_.panning);
  grain_controls::ShowRange(pitch_, processor_.pitchScaler);
  grain_controls::ShowRange(iot_, processor_.interonsetTime);
  grain_controls::ShowRange(gdur_, processor_.grainDuration);
  grain_controls::ShowRange(trapFact_, processor_.attDecRatio);
  grain_controls::ShowRange(skew_, processor_.grainSkew);
  feedback_->SetValue(processor_.feedback.Value());
  mix_->SetValue(processor_.wetDryMix.Value());
  inputGain_->SetValue(processor_.inputGain.Value());
  quant_->SetValue(processor_.quantizeAmount.Value());
  grain_controls::ShowGrid(quantCombo_, processor_.quantizeClocks.Value());
  maxGrains_->SetValue(processor_.maxGrains.Value());
  freeze_->setChecked(processor_.freeze.Value());
  TContraptionForm::UpdateControls();
}

void RegisterDLGranulatorWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TDLGranulatorForm>(type);
}

}  // namespace tg
