#include "contraptions/generators/testgen/TTestGenForm.h"

#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>

#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "controls/KWDWKnob.h"
#include "controls/KWNumberEdit.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

TTestGenForm::TTestGenForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGTestSignalGenerator&>(contraption.Processor())),
      sine_(new QRadioButton("Sine", Body())),
      noise_(new QRadioButton("Noise", Body())),
      volume_(new KWDWKnob(Body())),
      frequency_(new KWNumberEdit(Body())) {
  setWindowTitle("Test Signal Generator");
  volume_->setFixedSize(35, 35);
  TakeRange(volume_, "Amplitude");
  TakeRange(frequency_, "Frequency");
  frequency_->SetIncrement(1);
  frequency_->SetAutoIncrement(false);
  frequency_->setFixedWidth(80);
  auto* layout = new QGridLayout(Body());
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(sine_, 0, 0);
  layout->addWidget(noise_, 1, 0);
  layout->addWidget(new QLabel("Volume", Body()), 0, 1, Qt::AlignHCenter);
  layout->addWidget(volume_, 1, 1, 2, 1, Qt::AlignHCenter);
  layout->addWidget(frequency_, 2, 0);
  layout->addWidget(new QLabel("(Hz)", Body()), 2, 1);
  auto waveform = [this] { Edit(processor_.waveform, sine_->isChecked() ? 1 : 0); };
  connect(sine_, &QRadioButton::toggled, this, waveform);
  connect(volume_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.amplitude, v); });
  connect(frequency_, &KWNumberEdit::OnChange, this,
          [this](double v) { Edit(processor_.frequency, v); });
  PlaceDesigned(QSize(182, 73 + kHeaderHeight));
}

void TTestGenForm::UpdateControls() {
  const QSignalBlocker a(sine_), b(noise_), c(volume_);
  sine_->setChecked(processor_.waveform.Value() == 1);
  noise_->setChecked(processor_.waveform.Value() != 1);
  volume_->SetValue(processor_.amplitude.Value());
  frequency_->SetValue(processor_.frequency.Value());
  TContraptionForm::UpdateControls();
}

void RegisterTestGenWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TTestGenForm>(type);
}

}  // namespace tg
