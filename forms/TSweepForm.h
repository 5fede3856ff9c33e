#pragma once

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWSlider;
class KWRangeSlider;
class QSDoubleProperty;

// What the flanger's and the phaser's windows share: the sweep's frequency
// range, its rate, the feedback, and one more amount of their own.
class TSweepForm : public TContraptionForm {
  Q_OBJECT

 public:
  struct Parameters {
    QSDoubleProperty& minFrequency;
    QSDoubleProperty& maxFrequency;
    QSDoubleProperty& rate;
    QSDoubleProperty& feedback;
    QSDoubleProperty& amount;  // the fourth row's
  };
  struct Look {
    const char* title;
    const char* amountCaption;  // "Depth:"
    const char* amountName;     // the parameter's, for its range
    int designedWidth;
  };

  TSweepForm(TGardeningContraption& contraption, QWidget* parent, Parameters parameters,
             const Look& look);
  void UpdateControls() override;

  KWRangeSlider* RangeSlider() const { return range_; }
  KWDWSlider* RateSlider() const { return rate_; }
  KWDWSlider* FeedbackSlider() const { return feedback_; }

 protected:
  KWDWSlider* AmountSlider() const { return amount_; }

 private:
  Parameters parameters_;
  KWRangeSlider* range_;
  KWDWSlider* rate_;
  KWDWSlider* feedback_;
  KWDWSlider* amount_;
};

}  // namespace tg
