#include "contraptions/filters/paraeq/TParaEQForm.h"

#include <QLabel>

#include "contraptions/filters/paraeq/TGParametric.h"
#include "controls/KWDWKnob.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {
namespace {

constexpr int kRowHeight = 45;
constexpr int kRowLabelWidth = 38;
constexpr int kParaEQColumnWidth = 46;
constexpr int kCaptionHeight = 13;
constexpr int kKnobSize = 31;
constexpr double kGainDb = 30.0;

int RowTop(int row) { return 1 + row * kRowHeight; }
int ColumnLeft(int column) { return kRowLabelWidth + 4 + column * kParaEQColumnWidth; }

}  // namespace

KWDWKnob* TParaEQForm::AddKnob(int row, int column, const char* caption, QSDoubleProperty& property,
                               double min, double max, bool logarithmic) {
  const int left = ColumnLeft(column);
  auto* label = new QLabel(caption, Body());
  label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  label->setGeometry(left, RowTop(row), kParaEQColumnWidth - 4, kCaptionHeight);
  auto* knob = new KWDWKnob(Body());
  knob->setGeometry(left + (kParaEQColumnWidth - 4 - kKnobSize) / 2, RowTop(row) + kCaptionHeight,
                    kKnobSize, kKnobSize);
  if (logarithmic) knob->SetScale(ValueScale::Logarithmic);
  knob->SetMin(min);
  knob->SetMax(max);
  connect(knob, &KWDWKnob::OnChange, this, [this, &property](double v) { Edit(property, v); });
  bindings_.push_back({knob, &property});
  return knob;
}

TParaEQForm::TParaEQForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGParametric&>(contraption.Processor())) {
  setWindowTitle("ParaEQ");
  const char* rows[] = {"Hi:", "Mid1:", "Mid2:", "Low:"};
  for (int row = 0; row < 4; ++row) {
    auto* label = new QLabel(rows[row], Body());
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(0, RowTop(row) + kCaptionHeight, kRowLabelWidth, kKnobSize);
  }
  hsCF_ = AddKnob(0, 0, "Cf", processor_.hsCutoff, 3000.0, 18000.0, true);
  hsGain_ = AddKnob(0, 2, "Gain", processor_.hsGain, -kGainDb, kGainDb, false);
  for (int b = 0; b < 2; ++b) {
    ParametricBand& band = processor_.bands[static_cast<size_t>(b)];
    bpCF_[b] = AddKnob(1 + b, 0, "Cf", band.centre, 50.0, 15000.0, true);
    bpBW_[b] = AddKnob(1 + b, 1, "Bw", band.bandwidth, 10.0, 2000.0, true);
    bpGain_[b] = AddKnob(1 + b, 2, "Gain", band.gain, -kGainDb, kGainDb, false);
  }
  lsCF_ = AddKnob(3, 0, "Cf", processor_.lsCutoff, 20.0, 3000.0, true);
  lsGain_ = AddKnob(3, 2, "Gain", processor_.lsGain, -kGainDb, kGainDb, false);
  PlaceDesigned(QSize(182, 183 + kHeaderHeight));
}

void TParaEQForm::UpdateControls() {
  for (const Binding& b : bindings_) {
    const QSignalBlocker blocker(b.knob);
    b.knob->SetValue(b.property->Value());
  }
  TContraptionForm::UpdateControls();
}

void RegisterMParaEQWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TParaEQForm>(type);
}

void RegisterSParaEQWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TParaEQForm>(type);
}

}  // namespace tg
