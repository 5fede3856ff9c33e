#include "contraptions/mixers/mixers/TMixerForms.h"

#include <QLabel>

#include "contraptions/mixers/mixers/TGMixers.h"
#include "controls/KWDWKnob.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {
namespace {

constexpr int kLabelHeight = 14;

}  // namespace

TMixerFormBase::TMixerFormBase(TGardeningContraption& contraption, QWidget* parent, int columns)
    : TContraptionForm(contraption, parent), columns_(columns) {}

KWDWKnob* TMixerFormBase::AddKnob(QSDoubleProperty& property, QPoint at) {
  auto* knob = new KWDWKnob(Body());
  knob->setGeometry(QRect(at, QSize(kKnobSize, kKnobSize)));
  connect(knob, &KWDWKnob::OnChange, this, [this, &property](double v) { Edit(property, v); });
  bindings_.push_back({knob, &property});
  return knob;
}

void TMixerFormBase::AddLabel(const QString& text, QRect at, Qt::Alignment align) {
  auto* label = new QLabel(text, Body());
  label->setAlignment(align);
  label->setGeometry(at);
}

KWDWKnob* TMixerFormBase::ChannelKnob(int channel, int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
  const auto& knobs = rows_[static_cast<size_t>(row)];
  return channel >= 0 && channel < static_cast<int>(knobs.size())
             ? knobs[static_cast<size_t>(channel)]
             : nullptr;
}

void TMixerFormBase::FinishLayout(int firstLeft, int bodyHeight) {
  const int lastLeft = firstLeft + (columns_ - 1) * kColumnWidth;
  Place(QRect(0, 0, lastLeft + kColumnWidth, bodyHeight + kHeaderHeight + 6));
}

void TMixerFormBase::UpdateControls() {
  for (const Binding& b : bindings_) {
    const QSignalBlocker blocker(b.knob);
    b.knob->SetValue(b.property->Value());
  }
  TContraptionForm::UpdateControls();
}

TStereoMixerForm::TStereoMixerForm(TGardeningContraption& contraption, QWidget* parent)
    : TMixerFormBase(contraption, parent, contraption.Processor().InletCount() / 2) {
  setWindowTitle("SMixer");
  auto& mixer = static_cast<TGStereoMixer&>(contraption.Processor());
  constexpr int first = 50;
  AddLabel("Master", QRect(0, 2, kColumnWidth, kLabelHeight));
  SetMaster(AddKnob(mixer.masterGain, {5, 18}));
  std::vector<KWDWKnob*> gains;
  for (int i = 0; i < Columns(); ++i) {
    const int left = first + i * kColumnWidth;
    AddLabel(QString("%1 & %2").arg(2 * i + 1).arg(2 * i + 2),
             QRect(left - 2, 2, kColumnWidth, kLabelHeight));
    gains.push_back(AddKnob(mixer.gainProperty(i), {left + 3, 18}));
  }
  AddChannelRow(std::move(gains));
  FinishLayout(first, 58);
}

TPanPotMixerForm::TPanPotMixerForm(TGardeningContraption& contraption, QWidget* parent)
    : TMixerFormBase(contraption, parent, contraption.Processor().InletCount()) {
  setWindowTitle("PMixer");
  auto& mixer = static_cast<TGPanPotMixer&>(contraption.Processor());
  constexpr int first = 90;
  AddLabel("Pan:", QRect(0, 28, 38, kLabelHeight), Qt::AlignRight | Qt::AlignVCenter);
  AddLabel("Gain:", QRect(0, 66, 38, kLabelHeight), Qt::AlignRight | Qt::AlignVCenter);
  AddLabel("Master", QRect(40, 40, kColumnWidth, kLabelHeight));
  SetMaster(AddKnob(mixer.masterGain, {45, 56}));
  std::vector<KWDWKnob*> pans, gains;
  for (int i = 0; i < Columns(); ++i) {
    const int left = first + i * kColumnWidth;
    AddLabel(QString::number(i + 1), QRect(left, 2, 30, kLabelHeight),
             Qt::AlignRight | Qt::AlignVCenter);
    pans.push_back(AddKnob(mixer.panProperty(i), {left + 3, 18}));
    gains.push_back(AddKnob(mixer.gainProperty(i), {left + 3, 56}));
  }
  AddChannelRow(std::move(gains));
  AddChannelRow(std::move(pans));
  FinishLayout(first, 96);
}

TMonoMixerForm::TMonoMixerForm(TGardeningContraption& contraption, QWidget* parent)
    : TMixerFormBase(contraption, parent, contraption.Processor().InletCount()) {
  setWindowTitle("MMixer");
  auto& mixer = static_cast<TGMonoMixer&>(contraption.Processor());
  constexpr int first = 50;
  AddLabel("M", QRect(0, 2, kColumnWidth, kLabelHeight));
  SetMaster(AddKnob(mixer.masterGain, {5, 18}));
  std::vector<KWDWKnob*> gains;
  for (int i = 0; i < Columns(); ++i) {
    const int left = first + i * kColumnWidth;
    AddLabel(QString::number(i + 1), QRect(left, 2, 30, kLabelHeight),
             Qt::AlignRight | Qt::AlignVCenter);
    gains.push_back(AddKnob(mixer.gainProperty(i), {left + 3, 18}));
  }
  AddChannelRow(std::move(gains));
  FinishLayout(first, 58);
}

void RegisterStereoMixersWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TStereoMixerForm>(type);
}
void RegisterPanPotMixersWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TPanPotMixerForm>(type);
}
void RegisterMonoMixersWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TMonoMixerForm>(type);
}

}  // namespace tg
