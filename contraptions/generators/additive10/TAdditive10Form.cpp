#include "contraptions/generators/additive10/TAdditive10Form.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>

#include "controls/KWDWSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TypedNumber.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

// The left column: frequency, gain and the waveform, one under the other.
constexpr int kAdditive10Left = 8;
constexpr int kColumnWidth = 210;
constexpr int kAdditive10EditWidth = 56;
constexpr int kControlHeight = 24;
// The amplitudes, a row of upright faders in their group box.
constexpr int kGroupX = 226;
constexpr int kGroupWidth = 230;
constexpr int kFaderX = 8;
constexpr int kFaderPitch = 22;
constexpr int kFaderWidth = 18;
constexpr int kFaderTop = 20;
constexpr int kFaderHeight = 122;

}  // namespace

TWaveformPaintBox::TWaveformPaintBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TWaveformPaintBox::Show(const Amplitudes& amplitudes) {
  amplitudes_ = amplitudes;
  Draw();
  update();
}

void TWaveformPaintBox::resizeEvent(QResizeEvent*) {
  picture_ = QImage(size(), QImage::Format_RGB32);
  sum_.assign(static_cast<size_t>(width()), 0.0);
  Draw();
}

void TWaveformPaintBox::Draw() {
  if (picture_.isNull()) return;
  const int w = picture_.width();
  const int h = picture_.height();
  // Scaled by the highest point above the middle; a sum that never rises
  // (all amplitudes 0) draws a flat line.
  double peak = 0.0;
  for (int j = 0; j < w; ++j) {
    double s = 0.0;
    for (size_t k = 0; k < amplitudes_.size(); ++k) {
      const double harmonic = static_cast<double>(k + 1);
      s += std::sin(2.0 * std::numbers::pi * harmonic * j / w) * amplitudes_[k];
    }
    sum_[static_cast<size_t>(j)] = s;
    if (s > peak) peak = s;
  }
  if (peak <= 0.0) peak = 10000.0;
  const double half = h / 2.0;
  QPolygon line;
  line << QPoint(0, h / 2);
  for (int j = 0; j < w; ++j) {
    line << QPoint(
        j, static_cast<int>(std::floor(half - sum_[static_cast<size_t>(j)] * (half - 2.0) / peak)));
  }
  picture_.fill(Qt::black);
  QPainter painter(&picture_);
  painter.setPen(kLine);
  painter.drawPolyline(line);
}

void TWaveformPaintBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}

QString TAdditive10Form::FrequencyText(double hz) { return QString::number(hz, 'g', 15); }

bool TAdditive10Form::FrequencyTextIsGrey() const { return typednumber::IsGrey(frequencyEdit_); }

TAdditive10Form::TAdditive10Form(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGAdditive10&>(contraption.Processor())),
      frequency_(new KWDWSlider(Body())),
      frequencyEdit_(new QLineEdit(Body())),
      gain_(new KWDWSlider(Body())),
      waveform_(new TWaveformPaintBox(Body())) {
  setWindowTitle("10 Harmonics");
  QWidget* body = Body();

  PlaceLabel("Frequency", body, kAdditive10Left, 4);
  frequency_->SetVertical(false);
  frequency_->setGeometry(kAdditive10Left, 20, kColumnWidth - kAdditive10EditWidth - 4,
                          kControlHeight);
  frequencyEdit_->setGeometry(kAdditive10Left + kColumnWidth - kAdditive10EditWidth, 21,
                              kAdditive10EditWidth, kControlHeight - 2);
  TakeRange(frequency_, "FundamentalFrequency");
  connect(frequency_, &KWDWSlider::OnChange, this, [this](double hz) { FrequencySlid(hz); });
  typednumber::WhenTyped(frequencyEdit_, this,
                         [this](const QString& text) { FrequencyTyped(text); });

  PlaceLabel("Gain", body, kAdditive10Left, 50);
  gain_->SetVertical(false);
  gain_->setGeometry(kAdditive10Left, 66, kColumnWidth, kControlHeight);
  TakeRange(gain_, "Gain");
  connect(gain_, &KWDWSlider::OnChange, this, [this](double v) { Edit(processor_.gain, v); });

  PlaceLabel("Waveform", body, kAdditive10Left, 96);
  waveform_->setGeometry(kAdditive10Left, 112, kColumnWidth, 56);

  auto* group = new QGroupBox("Harmonic Amplitudes", body);
  group->setGeometry(kGroupX, 2, kGroupWidth, 166);
  for (int k = 0; k < TGAdditive10::kPartials; ++k) {
    auto* fader = new KWDWSlider(group);
    const int x = kFaderX + k * kFaderPitch;
    fader->setGeometry(x, kFaderTop, kFaderWidth, kFaderHeight);
    // Side by side, end ticks would run together into one dotted line.
    fader->SetEndTicks(false);
    fader->setProperty("tag", k + 1);
    TakeRange(fader, "Amp_" + std::to_string(k));
    connect(fader, &KWDWSlider::OnChange, this, [this, k](double v) { AmpSlid(k, v); });
    amps_[static_cast<size_t>(k)] = fader;
    QLabel* label =
        PlaceLabel("f" + QString::number(k + 1), group, x, kFaderTop + kFaderHeight + 2);
    label->setAlignment(Qt::AlignHCenter);
    label->setGeometry(x - 1, label->y(), kFaderWidth + 2, label->height());
  }
  PlaceDesigned(QSize(462, 173 + kHeaderHeight));
}

void TAdditive10Form::FrequencySlid(double hz) {
  Edit(processor_.fundamentalFrequency, hz);
  frequencyEdit_->setText(FrequencyText(hz));
  typednumber::SetGrey(frequencyEdit_, false);
}

void TAdditive10Form::FrequencyTyped(const QString& text) {
  const std::optional<double> typed = typednumber::Read(text, Contraption());
  if (!typed) return;
  const double hz = *typed;
  if (!(hz >= frequency_->Min() && hz <= frequency_->Max())) {
    typednumber::SetGrey(frequencyEdit_, true);
    return;
  }
  Edit(processor_.fundamentalFrequency, hz);
  frequency_->SetValue(hz);
  typednumber::SetGrey(frequencyEdit_, false);
}

void TAdditive10Form::AmpSlid(int k, double value) {
  Edit(processor_.amp[static_cast<size_t>(k)], value);
  ShowWaveform();
}

void TAdditive10Form::ShowWaveform() {
  TWaveformPaintBox::Amplitudes amplitudes;
  for (size_t k = 0; k < amplitudes.size(); ++k)
    amplitudes[k] = processor_.amp[k].ValueWithin(0.0, 1.0);
  waveform_->Show(amplitudes);
}

void TAdditive10Form::UpdateControls() {
  const double hz = processor_.fundamentalFrequency.Value();
  frequency_->SetValue(hz);
  frequencyEdit_->setText(FrequencyText(hz));
  // A value from beyond the range (a hand-edited document) plays at the
  // range's end: its text shows that it is not taken as it stands.
  typednumber::SetGrey(frequencyEdit_, !(hz >= frequency_->Min() && hz <= frequency_->Max()));
  gain_->SetValue(processor_.gain.Value());
  for (size_t k = 0; k < amps_.size(); ++k) amps_[k]->SetValue(processor_.amp[k].Value());
  ShowWaveform();
  TContraptionForm::UpdateControls();
}

void RegisterAdditive10Windows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TAdditive10Form>(type);
}

}  // namespace tg
