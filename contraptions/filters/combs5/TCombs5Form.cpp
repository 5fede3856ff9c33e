#include "contraptions/filters/combs5/TCombs5Form.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <algorithm>
#include <optional>

#include "contraptions/filters/combs5/TG5Combs.h"
#include "controls/KWDWSlider.h"
#include "controls/TPianoNotes.h"
#include "dsp/NoteNumbers.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TypedNumber.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"

namespace tg {

namespace {

// Columns of a row, left to right, and the rows' pitch.
constexpr int kLabelX = 8;
constexpr int kFrequencyX = 22;
constexpr int kFrequencyWidth = 150;
constexpr int kEditX = 176;
constexpr int kCombs5EditWidth = 64;
constexpr int kNoteX = 244;
constexpr int kNoteWidth = 36;
constexpr int kReverbX = 288;
constexpr int kReverbWidth = 120;
constexpr int kGainX = 414;
constexpr int kGainWidth = 112;
constexpr int kCombs5ControlHeight = 24;
constexpr int kFirstRowY = 58;
constexpr int kRowPitch = 27;

}  // namespace

QString TCombs5Form::FrequencyText(double hz) {
  QString s = QString::fromStdString(numbertext::General(hz, 10));
  const auto dot = s.indexOf('.');
  if (dot < 0) return s + ".00";
  return s.left(dot + 3);
}

bool TCombs5Form::IsGrey(const QWidget* widget) { return typednumber::IsGrey(widget); }

void TCombs5Form::SetGrey(QWidget* widget, bool grey) { typednumber::SetGrey(widget, grey); }

TCombs5Form::TCombs5Form(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TG5Combs&>(contraption.Processor())),
      inputGain_(new KWDWSlider(Body())) {
  setWindowTitle("5Combs");
  QWidget* body = Body();
  pickNote = [this](QPoint at, int current) {
    return TPianoNotes::Pick(at, current, kPickerBottomKey, kPickerKeyRange, this);
  };

  PlaceLabel("Master Gain:", body, kLabelX, 10);
  inputGain_->SetVertical(false);
  inputGain_->setGeometry(kFrequencyX + 70, 6, 200, kCombs5ControlHeight);
  TakeRange(inputGain_, "InputGain");
  connect(inputGain_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.inputGain, v); });

  auto* line = new QFrame(body);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  line->setGeometry(4, 34, 524, 4);
  PlaceLabel("Frequency:", body, kFrequencyX, 40);
  PlaceLabel("Reverb time:", body, kReverbX, 40);
  PlaceLabel("Gain:", body, kGainX, 40);

  for (int r = 0; r < kRows; ++r) {
    Row& row = rows_[Index(r)];
    const int y = kFirstRowY + r * kRowPitch;
    PlaceLabel(QString::number(r + 1), body, kLabelX, y + 5);
    row.frequency = new KWDWSlider(body);
    row.frequency->SetVertical(false);
    row.frequency->SetScale(ValueScale::Logarithmic);
    row.frequency->setGeometry(kFrequencyX, y, kFrequencyWidth, kCombs5ControlHeight);
    row.edit = new QLineEdit(body);
    row.edit->setGeometry(kEditX, y + 1, kCombs5EditWidth, kCombs5ControlHeight - 2);
    row.note = new QLabel(body);
    row.note->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    row.note->setAlignment(Qt::AlignCenter);
    row.note->setGeometry(kNoteX, y + 1, kNoteWidth, kCombs5ControlHeight - 2);
    row.note->installEventFilter(this);
    row.reverb = new KWDWSlider(body);
    row.reverb->SetVertical(false);
    row.reverb->setGeometry(kReverbX, y, kReverbWidth, kCombs5ControlHeight);
    row.gain = new KWDWSlider(body);
    row.gain->SetVertical(false);
    row.gain->setGeometry(kGainX, y, kGainWidth, kCombs5ControlHeight);

    const std::string i = std::to_string(r);
    TakeRange(row.frequency, "Frequency_" + i);
    TakeRange(row.reverb, "ReverbTime_" + i);
    TakeRange(row.gain, "Gain_" + i);

    connect(row.frequency, &KWDWSlider::OnChange, this,
            [this, r](double hz) { FrequencySlid(r, hz); });
    typednumber::WhenTyped(row.edit, this,
                           [this, r](const QString& text) { FrequencyTyped(r, text); });
    connect(row.reverb, &KWDWSlider::OnChange, this,
            [this, r](double v) { Edit(processor_.reverbTime[Index(r)], v); });
    connect(row.gain, &KWDWSlider::OnChange, this,
            [this, r](double v) { Edit(processor_.gain[Index(r)], v); });
  }
  PlaceDesigned(QSize(532, 193 + kHeaderHeight));
}

void TCombs5Form::ShowNote(int r, double hz) {
  QLabel* note = rows_[Index(r)].note;
  const int key = NearestKey(hz);
  note->setText(QString::fromStdString(NoteName(key)));
  SetGrey(note, !IsExactNote(hz, key));
}

void TCombs5Form::ShowFrequency(int r, double hz) {
  QLineEdit* edit = rows_[Index(r)].edit;
  edit->setText(FrequencyText(hz));
  SetGrey(edit, false);
  ShowNote(r, hz);
}

void TCombs5Form::FrequencySlid(int r, double hz) {
  Edit(processor_.frequency[Index(r)], hz);
  ShowFrequency(r, hz);
}

void TCombs5Form::FrequencyTyped(int r, const QString& text) {
  const std::optional<double> typed = typednumber::Read(text, Contraption());
  if (!typed) return;
  const double hz = *typed;
  Row& row = rows_[Index(r)];
  if (!(hz >= row.frequency->Min() && hz <= row.frequency->Max())) {
    SetGrey(row.edit, true);
    return;
  }
  Edit(processor_.frequency[Index(r)], hz);
  row.frequency->SetValue(hz);
  SetGrey(row.edit, false);
  ShowNote(r, hz);
}

bool TCombs5Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    for (int r = 0; r < kRows; ++r) {
      Row& row = rows_[Index(r)];
      if (watched != row.note) continue;
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = row.note->mapToGlobal(mouse->position().toPoint());
      const int chosen = pickNote(at, NearestKey(processor_.frequency[Index(r)].Value()));
      if (chosen > 0) {
        const double hz =
            std::clamp(KeyFrequency(chosen), row.frequency->Min(), row.frequency->Max());
        row.frequency->SetValue(hz);
        FrequencySlid(r, hz);
      }
      return true;
    }
  }
  return TContraptionForm::eventFilter(watched, event);
}

void TCombs5Form::UpdateControls() {
  inputGain_->SetValue(processor_.inputGain.Value());
  for (int r = 0; r < kRows; ++r) {
    Row& row = rows_[Index(r)];
    // A frequency from outside the slider's range (a hand-edited document)
    // is taken back to its end, as the slider shows it.
    QSDoubleProperty& frequency = processor_.frequency[Index(r)];
    const double stored = frequency.Value();
    const double hz = stored >= row.frequency->Min() ? std::min(stored, row.frequency->Max())
                                                     : row.frequency->Min();
    if (hz != stored) frequency.SetValue(hz);
    row.frequency->SetValue(hz);
    row.reverb->SetValue(processor_.reverbTime[Index(r)].Value());
    row.gain->SetValue(processor_.gain[Index(r)].Value());
    ShowFrequency(r, hz);
  }
  TContraptionForm::UpdateControls();
}

void RegisterFiveCombsWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TCombs5Form>(type);
}

}  // namespace tg
