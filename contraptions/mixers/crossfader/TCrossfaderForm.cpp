#include "contraptions/mixers/crossfader/TCrossfaderForm.h"

#include <QLabel>

#include "contraptions/mixers/crossfader/TGCrossfader.h"
#include "controls/KWDWKnob.h"
#include "controls/KWDWSlider.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {
namespace {

constexpr int kCrossfaderKnobSize = 35;
constexpr int kCrossfaderColumnWidth = 45;
constexpr int kCrossfaderCaptionTop = 6;
constexpr int kKnobTop = 24;

QLabel* AddCaption(const QString& text, QWidget* parent, int left, int width) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  label->setGeometry(left, kCrossfaderCaptionTop, width, 16);
  return label;
}

}  // namespace

TCrossfaderForm::TCrossfaderForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGCrossfader&>(contraption.Processor())),
      master_(new KWDWKnob(Body())),
      trimA_(new KWDWKnob(Body())),
      fader_(new KWDWSlider(Body())),
      trimB_(new KWDWKnob(Body())) {
  setWindowTitle("Crossfader");
  const int faderLeft = 2 * kCrossfaderColumnWidth + 6;
  const int trimBLeft = faderLeft + kFaderLength + 6;
  AddCaption("Master", Body(), 0, kCrossfaderColumnWidth);
  AddCaption("1 & 2", Body(), kCrossfaderColumnWidth, kCrossfaderColumnWidth);
  AddCaption("3 & 4", Body(), trimBLeft, kCrossfaderColumnWidth);
  // Which end is which source.
  auto* a = AddCaption("A", Body(), faderLeft, 12);
  a->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  auto* b = AddCaption("B", Body(), faderLeft + kFaderLength - 12, 12);
  b->setAlignment(Qt::AlignRight | Qt::AlignBottom);

  const int knobInset = (kCrossfaderColumnWidth - kCrossfaderKnobSize) / 2;
  master_->setGeometry(knobInset, kKnobTop, kCrossfaderKnobSize, kCrossfaderKnobSize);
  trimA_->setGeometry(kCrossfaderColumnWidth + knobInset, kKnobTop, kCrossfaderKnobSize,
                      kCrossfaderKnobSize);
  trimB_->setGeometry(trimBLeft + knobInset, kKnobTop, kCrossfaderKnobSize, kCrossfaderKnobSize);
  fader_->SetVertical(false);
  fader_->setGeometry(faderLeft, kKnobTop + (kCrossfaderKnobSize - 24) / 2, kFaderLength, 24);
  TakeRange(master_, "MasterGain");
  TakeRange(trimA_, "TrimA");
  TakeRange(trimB_, "TrimB");
  TakeRange(fader_, "Fade");

  connect(master_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.masterGain, v); });
  connect(trimA_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.trimA, v); });
  connect(trimB_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.trimB, v); });
  connect(fader_, &KWDWSlider::OnChange, this, [this](double v) { Edit(processor_.fade, v); });
  PlaceDesigned(QSize(292, 74 + kHeaderHeight));
}

void TCrossfaderForm::UpdateControls() {
  const QSignalBlocker a(master_), b(trimA_), c(fader_), d(trimB_);
  fader_->SetValue(processor_.fade.Value());
  trimA_->SetValue(processor_.trimA.Value());
  trimB_->SetValue(processor_.trimB.Value());
  master_->SetValue(processor_.masterGain.Value());
  TContraptionForm::UpdateControls();
}

void RegisterCrossfaderWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TCrossfaderForm>(type);
}

}  // namespace tg
