#pragma once

#include "forms/TContraptionForm.h"

class QComboBox;

namespace tg {

class KWDWKnob;
class KWNumberEdit;
class TGSDelay;

// "SDelay": units, left and right delay times, feedback and wet/dry knobs.
class TSDelayForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TSDelayForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // A delay converted between units, m being milliseconds per semiquaver.
  static int ToMilliseconds(double semiquavers, double m);
  static int ToSemiquavers(double milliseconds, double m);

  QComboBox* UnitsBox() const { return units_; }
  KWNumberEdit* LeftEdit() const { return left_; }
  KWNumberEdit* RightEdit() const { return right_; }
  KWDWKnob* FeedbackKnob() const { return feedback_; }
  KWDWKnob* MixKnob() const { return mix_; }

 private:
  void ChangeUnits(int units);
  void SetRanges();

  TGSDelay& processor_;
  QComboBox* units_;
  KWNumberEdit* left_;
  KWNumberEdit* right_;
  KWDWKnob* feedback_;
  KWDWKnob* mix_;
};

}  // namespace tg
