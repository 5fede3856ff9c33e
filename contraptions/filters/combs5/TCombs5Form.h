#pragma once

#include <QPoint>
#include <array>
#include <functional>

#include "forms/TContraptionForm.h"

class QLabel;
class QLineEdit;

namespace tg {

class KWDWSlider;
class TG5Combs;

// "5Combs": the master gain, then a row per comb with its frequency (as a
// slider, a number and the nearest note), reverberation time and gain.
class TCombs5Form final : public TContraptionForm {
  Q_OBJECT

 public:
  static constexpr int kRows = 5;
  // Where the note picker's keyboard starts and how many keys it spans.
  static constexpr int kPickerBottomKey = 12;
  static constexpr int kPickerKeyRange = 84;

  TCombs5Form(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // "440.00" for 440, "261.62" for 261.6255653: two decimals, cut, not rounded.
  static QString FrequencyText(double hz);

  KWDWSlider* InputGainSlider() const { return inputGain_; }
  KWDWSlider* FrequencySlider(int row) const { return rows_[Index(row)].frequency; }
  QLineEdit* FrequencyEdit(int row) const { return rows_[Index(row)].edit; }
  QLabel* NotePanel(int row) const { return rows_[Index(row)].note; }
  KWDWSlider* ReverbSlider(int row) const { return rows_[Index(row)].reverb; }
  KWDWSlider* GainSlider(int row) const { return rows_[Index(row)].gain; }
  // Whether a text is drawn in the grey of a value that is not taken (or not a note).
  static bool IsGrey(const QWidget* widget);

  // The note picker, opened at a screen point with the current key: answers
  // the chosen key or −1. Tests replace it to stand in for the modal picker.
  std::function<int(QPoint at, int current)> pickNote;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Row {
    KWDWSlider* frequency = nullptr;
    QLineEdit* edit = nullptr;
    QLabel* note = nullptr;
    KWDWSlider* reverb = nullptr;
    KWDWSlider* gain = nullptr;
  };
  static size_t Index(int row) { return static_cast<size_t>(row); }
  void FrequencySlid(int row, double hz);
  void FrequencyTyped(int row, const QString& text);
  void ShowFrequency(int row, double hz);
  void ShowNote(int row, double hz);
  static void SetGrey(QWidget* widget, bool grey);

  TG5Combs& processor_;
  KWDWSlider* inputGain_;
  std::array<Row, kRows> rows_;
};

}  // namespace tg
