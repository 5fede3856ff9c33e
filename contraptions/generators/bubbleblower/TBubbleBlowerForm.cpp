#include "contraptions/generators/bubbleblower/TBubbleBlowerForm.h"

#include <QComboBox>
#include <QLabel>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "contraptions/generators/bubbleblower/TGBubbleBlower.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWRangeSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/GrainControls.h"
#include "forms/SoundFileRow.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr int kBubbleBlowerClientWidth = 362;
constexpr int kBubbleBlowerClientHeight = 202;
constexpr int kColumn = 37;
constexpr int kLeft = 6;
constexpr int kFileTop = 6;
constexpr int kCaptionTop = kFileTop + SoundFileRow::kHeight + 6;
constexpr int kSliderTop = kCaptionTop + 16;
constexpr int kSliderWidth = 24;

}  // namespace

TBubbleBlower::TBubbleBlower(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGBubbleBlower&>(contraption.Processor())),
      fileRow_(new SoundFileRow(
          Body(), kLeft, kFileTop, kBubbleBlowerClientWidth - 2 * kLeft - 6,
          {[this]() -> const std::string& { return processor_.file.Value(); },
           [this] { return processor_.LoadFailed(); }, [this] { return processor_.Loading(); },
           [this] { return processor_.LoadCut(); }})),
      amp_(new KWRangeSlider(Body())),
      pan_(new KWRangeSlider(Body())),
      inskip_(new KWRangeSlider(Body())),
      pitch_(new KWRangeSlider(Body())),
      gdur_(new KWRangeSlider(Body())),
      trapFact_(new KWRangeSlider(Body())),
      skew_(new KWRangeSlider(Body())),
      density_(new KWDWSlider(Body())),
      quant_(new KWDWSlider(Body())),
      quantCombo_(new QComboBox(Body())),
      maxGrains_(new KWNumberEdit(Body())) {
  setWindowTitle("BubbleBlower");
  QWidget* body = Body();
  fileRow_->OpenButton()->setToolTip("Choose the sound file the grains are taken from");
  connect(fileRow_, &SoundFileRow::OpenClicked, this, [this] { ChooseFile(); });

  // The bottom row: the grid and the grain limit.
  const int rowTop =
      grain_controls::PlaceGridRow(body, kLeft, kBubbleBlowerClientHeight, quantCombo_, maxGrains_)
          .top;
  TakeRange(maxGrains_, "MaxGrains");

  // One column a control between the file and the bottom row.
  const int sliderHeight = rowTop - 6 - kSliderTop;
  // A column is as wide as its caption needs, at least kColumn.
  int x = kLeft;
  auto place = [&](QWidget* control, const char* caption, const char* tip) {
    QLabel* label = PlaceLabel(caption, body, x, kCaptionTop);
    const int column = std::max(kColumn, label->width() + 6);
    label->move(x + (column - label->width()) / 2, kCaptionTop);
    control->setGeometry(x + (column - kSliderWidth) / 2, kSliderTop, kSliderWidth, sliderHeight);
    control->setToolTip(tip);
    x += column;
  };
  const std::pair<KWRangeSlider*, const char*> ranges[] = {
      {amp_, "Amplitude"},     {pan_, "Panning"},        {inskip_, "Inskip"},
      {pitch_, "PitchScaler"}, {gdur_, "GrainDuration"}, {trapFact_, "AttDecRatio"},
      {skew_, "GrainSkew"}};
  for (const auto& [slider, parameter] : ranges) {
    slider->SetVertical(true);
    TakeRange(slider, parameter);
  }
  pitch_->SetScale(ValueScale::Octave);
  pitch_->AddTick(1.0);
  gdur_->SetScale(ValueScale::Logarithmic);
  skew_->AddTick(0.5);
  const std::pair<KWDWSlider*, const char*> sliders[] = {{density_, "Density"},
                                                         {quant_, "QuantizeAmount"}};
  for (const auto& [slider, parameter] : sliders) {
    slider->SetVertical(true);
    TakeRange(slider, parameter);
  }
  density_->SetScale(ValueScale::Logarithmic);
  place(amp_, "Amp", "Grain amplitude");
  place(pan_, "Pan", "Grain pan position, left to right");
  place(inskip_, "Inskip", "Where in the file grains start, 0–15000 ms");
  place(pitch_, "Trans", "Grain transposition, two octaves down to two up");
  place(gdur_, "GDur", "Grain length, 5–500 ms");
  place(trapFact_, "Shape", "Share of the grain held at full level");
  place(skew_, "Skew", "Share of the rest given to the attack");
  place(density_, "Density", "Mean grains a second, 0.1–2000, at random times");
  place(quant_, "Quant", "How far onsets move to the grid");

  const auto editRange = [this](KWRangeSlider* slider, QSRangeProperty& p) {
    connect(slider, &KWRangeSlider::OnChange, this, [this, &p](double lo, double hi) {
      Edit(p, FloatRange{static_cast<float>(lo), static_cast<float>(hi)});
    });
  };
  editRange(amp_, processor_.amplitude);
  editRange(pan_, processor_.panning);
  editRange(inskip_, processor_.inskip);
  editRange(pitch_, processor_.pitchScaler);
  editRange(gdur_, processor_.grainDuration);
  editRange(trapFact_, processor_.attDecRatio);
  editRange(skew_, processor_.grainSkew);
  connect(density_, &KWDWSlider::OnChange, this, [this](double v) { Edit(processor_.density, v); });
  connect(quant_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.quantizeAmount, v); });
  connect(quantCombo_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (const int clocks = grain_controls::GridClocksAt(i); clocks >= 0)
      Edit(processor_.quantizeClocks, clocks);
  });
  connect(maxGrains_, &KWNumberEdit::OnChange, this, [this](double v) {
    if (std::isfinite(v))
      Edit(processor_.maxGrains,
           static_cast<int32_t>(std::clamp(v, 1.0, double{TGBubbleBlower::kVoices})));
  });

  // Larger fonts than designed for make the window grow rather than cut.
  const QRect used = body->childrenRect();
  body->setMinimumSize(used.right() + 5, used.bottom() + 3);
  PlaceDesigned(QSize(kBubbleBlowerClientWidth, kBubbleBlowerClientHeight + kHeaderHeight));
}

QToolButton* TBubbleBlower::OpenButton() const { return fileRow_->OpenButton(); }
QLabel* TBubbleBlower::FileNamePanel() const { return fileRow_->FileNamePanel(); }

void TBubbleBlower::ChooseFile() {
  const QString chosen = dialog_.Ask(this, processor_.file.Value());
  if (chosen.isEmpty()) return;
  Edit(processor_.file, chosen.toStdString());
  fileRow_->Refresh();
}

void TBubbleBlower::UpdateControls() {
  {
    const QSignalBlocker b0(amp_), b1(pan_), b2(inskip_), b3(pitch_), b4(gdur_), b5(trapFact_),
        b6(skew_), b7(density_), b8(quant_), b9(quantCombo_), b10(maxGrains_);
    grain_controls::ShowRange(amp_, processor_.amplitude);
    grain_controls::ShowRange(pan_, processor_.panning);
    grain_controls::ShowRange(inskip_, processor_.inskip);
    grain_controls::ShowRange(pitch_, processor_.pitchScaler);
    grain_controls::ShowRange(gdur_, processor_.grainDuration);
    grain_controls::ShowRange(trapFact_, processor_.attDecRatio);
    grain_controls::ShowRange(skew_, processor_.grainSkew);
    density_->SetValue(processor_.density.Value());
    quant_->SetValue(processor_.quantizeAmount.Value());
    grain_controls::ShowGrid(quantCombo_, processor_.quantizeClocks.Value());
    maxGrains_->SetValue(processor_.maxGrains.Value());
  }
  fileRow_->Refresh();
  TContraptionForm::UpdateControls();
}

void RegisterBubbleBlowerWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TBubbleBlower>(type);
}

}  // namespace tg
