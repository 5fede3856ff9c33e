#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <vector>

#include "contraptions/generators/additive10/TGAdditive10.h"
#include "forms/TContraptionForm.h"

class QLineEdit;

namespace tg {

class KWDWSlider;

// One period of the sum of the ten partials, scaled to fill the height: a
// teal line on black.
class TWaveformPaintBox final : public QWidget {
  Q_OBJECT

 public:
  using Amplitudes = std::array<double, TGAdditive10::kPartials>;
  static inline const QColor kLine{0, 128, 128};

  explicit TWaveformPaintBox(QWidget* parent);
  // Draws the picture anew for these amplitudes.
  void Show(const Amplitudes& amplitudes);
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Draw();

  Amplitudes amplitudes_{};
  QImage picture_;
  std::vector<double> sum_;
};

// "10Harmonics": the fundamental (slider and typed value), the gain, the ten
// partials' amplitudes and the waveform they make.
class TAdditive10Form final : public TContraptionForm {
  Q_OBJECT

 public:
  TAdditive10Form(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWDWSlider* FrequencySlider() const { return frequency_; }
  QLineEdit* FrequencyEdit() const { return frequencyEdit_; }
  KWDWSlider* GainSlider() const { return gain_; }
  KWDWSlider* AmpSlider(int k) const { return amps_[static_cast<size_t>(k)]; }
  TWaveformPaintBox* WaveformPaintBox() const { return waveform_; }
  // Whether the frequency text is greyed: typed, but outside the range, so not taken.
  bool FrequencyTextIsGrey() const;
  // The frequency as the text field shows it.
  static QString FrequencyText(double hz);

 private:
  void FrequencySlid(double hz);
  void FrequencyTyped(const QString& text);
  void AmpSlid(int k, double value);
  void ShowWaveform();

  TGAdditive10& processor_;
  KWDWSlider* frequency_;
  QLineEdit* frequencyEdit_;
  KWDWSlider* gain_;
  std::array<KWDWSlider*, TGAdditive10::kPartials> amps_{};
  TWaveformPaintBox* waveform_;
};

}  // namespace tg
