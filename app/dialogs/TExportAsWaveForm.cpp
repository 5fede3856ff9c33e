#include "app/dialogs/TExportAsWaveForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/dialogs/TProgressForm.h"
#include "contraptions/io/soundin/TGSoundIn.h"
#include "controls/KWNumberEdit.h"
#include "dsp/BlockConstants.h"
#include "engine/TAudioEngineModule.h"
#include "files/SoundFilePaths.h"
#include "forms/SaveFileDialog.h"
#include "host/UserMessages.h"
#include "properties/NumberText.h"

namespace tg {
namespace {}  // namespace

TExportAsWaveForm::TExportAsWaveForm(TAudioEngineModule& engine, UserMessages& messages,
                                     QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      messages_(messages),
      pattern_(new QRadioButton("&Clock Syncronised Pattern", this)),
      soundIn_(new QRadioButton("&Processed SoundIn File", this)),
      timed_(new QRadioButton("&Timed Segment", this)),
      preRoll_(new KWNumberEdit(this)),
      record_(new KWNumberEdit(this)),
      units_{new QLabel("(bars)", this), new QLabel("(bars)", this)},
      soundInLabel_(new QLabel(this)) {
  setWindowTitle("Export as Wave File...");
  pattern_->setChecked(true);
  preRoll_->SetMin(0);
  preRoll_->SetMax(1000);
  preRoll_->SetIncrement(1);
  preRoll_->SetValue(0);
  record_->SetMin(0.1);
  record_->SetMax(10000);
  record_->SetIncrement(1);
  record_->SetValue(1.0);
  for (KWNumberEdit* e : {preRoll_, record_}) e->setFixedWidth(80);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Pre-roll:", this), 0, 0);
  grid->addWidget(preRoll_, 0, 1);
  grid->addWidget(units_[0], 0, 2);
  grid->addWidget(new QLabel("Record:", this), 1, 0);
  grid->addWidget(record_, 1, 1);
  grid->addWidget(units_[1], 1, 2);
  auto* exportButton = new QPushButton("Export", this);
  auto* cancel = new QPushButton("Cancel", this);
  auto* help = new QPushButton("&Help", this);
  exportButton->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(exportButton);
  buttons->addWidget(cancel);
  buttons->addWidget(help);
  auto* layout = new QVBoxLayout(this);
  for (QRadioButton* b : {pattern_, soundIn_, timed_}) layout->addWidget(b);
  layout->addLayout(grid);
  layout->addWidget(soundInLabel_);
  layout->addLayout(buttons);

  for (QRadioButton* b : {pattern_, soundIn_, timed_}) {
    connect(b, &QRadioButton::toggled, this, [this](bool on) {
      if (!on) return;
      SetUnits(Mode() == WaveExportRequest::Mode::ClockSyncPattern);
      if (Mode() == WaveExportRequest::Mode::ProcessedSoundInFile) ProposeSoundInLength();
    });
  }
  connect(exportButton, &QPushButton::clicked, this, [this] { ExportClicked(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, &QDialog::reject);
}

QRadioButton* TExportAsWaveForm::ModeButton(WaveExportRequest::Mode mode) const {
  switch (mode) {
    case WaveExportRequest::Mode::ClockSyncPattern:
      return pattern_;
    case WaveExportRequest::Mode::ProcessedSoundInFile:
      return soundIn_;
    case WaveExportRequest::Mode::TimedSegment:
      return timed_;
  }
  return pattern_;
}

WaveExportRequest::Mode TExportAsWaveForm::Mode() const {
  if (soundIn_->isChecked()) return WaveExportRequest::Mode::ProcessedSoundInFile;
  if (timed_->isChecked()) return WaveExportRequest::Mode::TimedSegment;
  return WaveExportRequest::Mode::ClockSyncPattern;
}

void TExportAsWaveForm::ChooseMode(WaveExportRequest::Mode mode) {
  ModeButton(mode)->setChecked(true);
}

double TExportAsWaveForm::SamplesPerClock() const {
  return engine_.GetContext().Clock().SamplesPerClock();
}

void TExportAsWaveForm::Prepare() {
  const TGSoundIn& in = engine_.SoundInProcessor();
  const bool soundInFile = in.IsScheduled() && !in.useADC.Value() && in.fileIsGood.Value();
  soundIn_->setEnabled(soundInFile);
  if (!soundInFile && soundIn_->isChecked()) pattern_->setChecked(true);
  soundInLabel_->setText(soundInFile ? SoundInDurationText(in.duration.Value()) : QString());
  SetUnits(Mode() == WaveExportRequest::Mode::ClockSyncPattern);
}

void TExportAsWaveForm::ProposeSoundInLength() {
  // The whole file, unless the user asks for less or more.
  record_->SetValue(engine_.SoundInProcessor().duration.Value() / 1000.0);
  soundInSeconds_ = record_->Value();
}

QString TExportAsWaveForm::SoundInDurationText(double milliseconds) {
  // SoundIn keeps its file's length in milliseconds.
  return QString("SoundIn file duration is %1 seconds")
      .arg(QString::fromStdString(numbertext::Fixed(milliseconds / 1000.0, 2)));
}

void TExportAsWaveForm::SetUnits(bool bars) {
  const double spc = SamplesPerClock();
  if (bars && !bars_) {
    const auto toBars = [&](double seconds) {
      return std::trunc(seconds * kSampleRate * 1000.0 / (spc * 96.0)) / 1000.0;
    };
    preRoll_->SetValue(toBars(preRoll_->Value()));
    record_->SetValue(toBars(record_->Value()));
  } else if (!bars && bars_) {
    preRoll_->SetValue(std::trunc(spc * preRoll_->Value() * 96.0 * 1000.0 / kSampleRate) / 1000.0);
    record_->SetValue((std::trunc(spc * record_->Value() * 96.0 * 1000.0 / kSampleRate) + 1.0) /
                      1000.0);
  }
  bars_ = bars;
  for (QLabel* l : units_) l->setText(bars ? "(bars)" : "(seconds)");
  soundInLabel_->setVisible(!bars);
}

std::string TExportAsWaveForm::SaveProposal() const {
  std::string name = SoundFilePaths::Instance().LastOutputDirectory();
  name.append(documentTitle_.toStdString());
  name.append(".wav");
  return name;
}

QString TExportAsWaveForm::ExportedText(const WaveExportRequest& request, int64_t frames) {
  const QString file = QFileInfo(QString::fromStdString(request.fileName)).fileName();
  const QString seconds = QString::fromStdString(
      numbertext::Fixed(static_cast<double>(frames) / kSampleRate, 1) + " s");
  if (request.mode != WaveExportRequest::Mode::ClockSyncPattern) {
    return QString("Exported %1 to %2").arg(seconds, file);
  }
  const QString bars = QString::number(request.record, 'g', 7);
  return QString("Exported %1 %2 to %3 (%4)")
      .arg(bars, request.record == 1.0 ? "bar" : "bars", file, seconds);
}

WaveExportRequest TExportAsWaveForm::Request() const {
  WaveExportRequest request;
  request.mode = Mode();
  request.preRoll = preRoll_->Value();
  request.record = record_->Value();
  request.wholeSoundInFile = request.mode == WaveExportRequest::Mode::ProcessedSoundInFile &&
                             request.record == soundInSeconds_;
  return request;
}

void TExportAsWaveForm::ExportClicked() {
  WaveExportMessage tooLong;
  if (!FitsInWaveFile(engine_, Request(), &tooLong)) {
    messages_.ShowMessage(tooLong.text, tooLong.caption, MessageIcon::Error);
    return;  // before a file is chosen: the dialog stays for a shorter length
  }
  hide();
  const QString title = "Save Pattern as...";
  QWidget* owner = parentWidget();
  const SaveFileDialog dialog(title, "Wave file (*.wav)", "wav");
  const QString chosen = dialog.Ask(owner, QString::fromStdString(SaveProposal()));
  if (chosen.isEmpty()) {
    reject();
    return;
  }
  SoundFilePaths::Instance().SetLastOutputDirectory(chosen.toStdString());
  switch (ExportTo(chosen)) {
    case WaveExportResult::Written:
      accept();
      break;
    case WaveExportResult::NotEnoughSpace:
    case WaveExportResult::TooLong:
      show();  // the user may shorten the export or pick another drive
      break;
    default:
      reject();
      break;
  }
}

WaveExportResult TExportAsWaveForm::ExportTo(const QString& fileName) {
  WaveExportRequest request = Request();
  request.fileName = fileName.toStdString();
  request.endLiveTake = true;
  request.filesInUse = filesInUse_;
  TProgressForm progress(parentWidget());
  progress.show();
  WaveExportMessage message;
  // The length as rendered, before the render moves anything.
  const int64_t frames = ExportFrames(engine_, request).record;
  const WaveExportResult result = ExportAsWave(engine_, request, &progress, &message);
  progress.hide();
  if (result == WaveExportResult::Written) {
    // What went over full scale, and what the limiter did, in the file.
    exportedText_ = ExportedText(request, frames) + "; " +
                    QString::fromStdString(engine_.SoundOutProcessor().OutputSummary());
  }
  if (!message.text.empty())
    messages_.ShowMessage(message.text, message.caption, MessageIcon::Error);
  return result;
}

}  // namespace tg
