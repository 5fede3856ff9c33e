#pragma once

#include <vector>

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWKnob;
class QSDoubleProperty;
class TGParametric;

// "ParaEQ", for both the mono and the stereo type: one row of knobs per
// section, high shelf at the top, low shelf at the bottom.
class TParaEQForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TParaEQForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWDWKnob* hsCFKnob() const { return hsCF_; }
  KWDWKnob* hsGainKnob() const { return hsGain_; }
  // band: 0 (Mid1) or 1 (Mid2).
  KWDWKnob* bpCFKnob(int band) const { return bpCF_[band]; }
  KWDWKnob* bpBWKnob(int band) const { return bpBW_[band]; }
  KWDWKnob* bpGainKnob(int band) const { return bpGain_[band]; }
  KWDWKnob* lsCFKnob() const { return lsCF_; }
  KWDWKnob* lsGainKnob() const { return lsGain_; }

 private:
  struct Binding {
    KWDWKnob* knob;
    QSDoubleProperty* property;
  };
  // A knob in a row's column, with its caption above it, editing a property.
  KWDWKnob* AddKnob(int row, int column, const char* caption, QSDoubleProperty& property,
                    double min, double max, bool logarithmic);

  TGParametric& processor_;
  std::vector<Binding> bindings_;
  KWDWKnob* hsCF_;
  KWDWKnob* hsGain_;
  KWDWKnob* bpCF_[2];
  KWDWKnob* bpBW_[2];
  KWDWKnob* bpGain_[2];
  KWDWKnob* lsCF_;
  KWDWKnob* lsGain_;
};

}  // namespace tg
