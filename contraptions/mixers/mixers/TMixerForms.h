#pragma once

#include <vector>

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWKnob;
class QSDoubleProperty;

// What the three mixer windows share: a master knob and knobs laid out in
// one column per channel, each knob bound to a property.
class TMixerFormBase : public TContraptionForm {
  Q_OBJECT

 public:
  static constexpr int kColumnWidth = 45;
  static constexpr int kKnobSize = 35;

  void UpdateControls() override;
  KWDWKnob* MasterKnob() const { return master_; }
  // Channel i's gain knob (row 0) or, in pan-pot mixers, its pan knob (row 1).
  KWDWKnob* ChannelKnob(int channel, int row = 0) const;
  int Columns() const { return columns_; }

 protected:
  TMixerFormBase(TGardeningContraption& contraption, QWidget* parent, int columns);
  KWDWKnob* AddKnob(QSDoubleProperty& property, QPoint at);
  void AddLabel(const QString& text, QRect at, Qt::Alignment align = Qt::AlignCenter);
  // Sizes the window to its columns, the first one starting at firstLeft.
  void FinishLayout(int firstLeft, int bodyHeight);
  void SetMaster(KWDWKnob* knob) { master_ = knob; }
  void AddChannelRow(std::vector<KWDWKnob*> row) { rows_.push_back(std::move(row)); }

 private:
  struct Binding {
    KWDWKnob* knob;
    QSDoubleProperty* property;
  };
  int columns_;
  KWDWKnob* master_ = nullptr;
  std::vector<std::vector<KWDWKnob*>> rows_;
  std::vector<Binding> bindings_;
};

// "SMixer": a gain knob per stereo pair of inlets.
class TStereoMixerForm final : public TMixerFormBase {
  Q_OBJECT

 public:
  TStereoMixerForm(TGardeningContraption& contraption, QWidget* parent);
};

// A pan knob above a gain knob per mono inlet.
class TPanPotMixerForm final : public TMixerFormBase {
  Q_OBJECT

 public:
  TPanPotMixerForm(TGardeningContraption& contraption, QWidget* parent);
};

// A gain knob per mono inlet, master "M".
class TMonoMixerForm final : public TMixerFormBase {
  Q_OBJECT

 public:
  TMonoMixerForm(TGardeningContraption& contraption, QWidget* parent);
};

}  // namespace tg
