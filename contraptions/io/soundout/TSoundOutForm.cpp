#include "contraptions/io/soundout/TSoundOutForm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "contraptions/io/soundout/TGSoundOut.h"
#include "controls/KWNumberEdit.h"
#include "controls/StagePalette.h"
#include "engine/TAudioEngineModule.h"
#include "files/SoundFilePaths.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/SaveFileDialog.h"
#include "forms/TransportGlyph.h"
#include "framework/TGardeningContraption.h"

namespace tg {

QString TSoundOutForm::SecondsText(double seconds) { return tg::SecondsText(seconds); }

TSoundOutForm::TSoundOutForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGSoundOut&>(contraption.Processor())),
      file_(new QLabel(Body())),
      open_(new QToolButton(Body())),
      play_(new QToolButton(Body())),
      record_(new QToolButton(Body())),
      recordMode_(new QComboBox(Body())),
      punchMode_(new QComboBox(Body())),
      duration_(new KWNumberEdit(Body())),
      position_(new QSlider(Qt::Horizontal, Body())),
      durationLabel_(new QLabel(Body())),
      lost_(new QLabel(Body())),
      clips_(new QLabel(Body())),
      timer_(new QTimer(this)),
      levels_(new QTimer(this)),
      opening_(new QTimer(this)) {
  setWindowTitle("SoundOut");
  file_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  file_->setMinimumWidth(150);
  open_->setText("...");
  open_->setToolTip("Select Destination File");
  recordMode_->addItems({"Append", "Overwrite"});
  punchMode_->addItems({"Manual", "SoundIn Sync", "Timed"});
  duration_->SetMin(0.1);
  duration_->SetMax(10000);
  duration_->SetIncrement(1);
  duration_->SetAutoIncrement(false);
  duration_->setFixedWidth(70);
  position_->setRange(0, 10000);
  position_->setEnabled(false);
  SetGlyph(play_, playGlyph_, "PLAY");
  SetGlyph(record_, recordGlyph_, "RECORD");
  timer_->setInterval(1000);
  opening_->setInterval(20);

  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setVerticalSpacing(3);
  grid->addWidget(new QLabel("File:", Body()), 0, 0);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(open_);
  grid->addLayout(fileRow, 0, 1, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(play_);
  buttons->addWidget(record_);
  buttons->addStretch();
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->addWidget(durationLabel_, 1, 2, 1, 2);
  grid->addWidget(new QLabel("Record mode:", Body()), 2, 0, 1, 2);
  grid->addWidget(recordMode_, 2, 2, 1, 2);
  grid->addWidget(new QLabel("Punch mode:", Body()), 3, 0, 1, 2);
  grid->addWidget(punchMode_, 3, 2, 1, 2);
  grid->addWidget(duration_, 4, 2);
  grid->addWidget(new QLabel("(sec)", Body()), 4, 3);
  grid->addWidget(position_, 5, 0, 1, 4);
  grid->addWidget(lost_, 6, 0, 1, 4);
  grid->addWidget(clips_, 7, 0, 1, 4);
  clips_->setStyleSheet(WarningStyle());
  clips_->setToolTip("Samples sent over full scale since audio out started or the take began");
  // The count goes on whether or not a take runs.
  levels_->setInterval(500);
  connect(levels_, &QTimer::timeout, this, [this] { ShowClips(); });
  levels_->start();

  connect(open_, &QToolButton::clicked, this, [this] { OpenClicked(); });
  connect(play_, &QToolButton::clicked, this, [this] { PlayClicked(); });
  connect(record_, &QToolButton::clicked, this, [this] { RecordClicked(); });
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  connect(opening_, &QTimer::timeout, this, [this] { CheckOpenedFile(); });
  connect(recordMode_, &QComboBox::currentIndexChanged, this,
          [this](int i) { Edit(processor_.fileMode, i); });
  connect(punchMode_, &QComboBox::currentIndexChanged, this, [this](int i) {
    Edit(processor_.punchMode, i);
    duration_->setEnabled(i == TGSoundOut::kTimed && punchMode_->isEnabled());
  });
  connect(duration_, &KWNumberEdit::OnChange, this,
          [this](double v) { Edit(processor_.recordDuration, static_cast<int>(std::trunc(v))); });
  PlaceDesigned(QSize(250, 182 + kHeaderHeight));
}

void TSoundOutForm::ShowClips() {
  const bool clipped = processor_.Counts().clipped > 0;
  clips_->setText(clipped ? QString::fromStdString(processor_.ClipSummary()) : QString());
}

bool TSoundOutForm::TimerRunning() const { return timer_->isActive(); }

void TSoundOutForm::SetGlyph(QToolButton* button, QString& glyph, const QString& name) {
  glyph = name;
  button->setIcon(TransportGlyph(name));
  button->setToolTip(name == "PLAY" ? "Play" : name == "STOP" ? "Stop" : "Record");
}

std::string TSoundOutForm::SaveProposal() const {
  if (!processor_.outputFile.Value().empty()) return processor_.OutputPath();
  return SoundFilePaths::Instance().LastOutputDirectory() + "Untitled.wav";
}

void TSoundOutForm::OpenClicked() {
  const QString title = "Save Soundfile as...";
  const SaveFileDialog dialog(title, "Wave file (*.wav)", "wav",
                              "%1 already exists.\nUse it? The record mode decides whether a take "
                              "is added to it or replaces it.");
  const std::string chosen = dialog.Ask(this, QString::fromStdString(SaveProposal())).toStdString();
  if (!chosen.empty()) ChooseFile(QString::fromStdString(chosen));
}

void TSoundOutForm::ChooseFile(const QString& fileName) {
  const std::string chosen = fileName.toStdString();
  SoundFilePaths::Instance().SetLastOutputDirectory(chosen);
  processor_.ChooseFile(chosen);
  ParameterEdited();
  UpdateControls();
  opening_->start();
}

bool TSoundOutForm::OpeningFile() const { return opening_->isActive(); }

void TSoundOutForm::CheckOpenedFile() {
  if (processor_.GetState() == TGSoundOut::kOpening) return;
  opening_->stop();
  const std::string problem = processor_.FileProblem();
  UpdateControls();
  processor_.ReportFileProblem(problem);
}

// The command is given under the engine lock; drawing the buttons waits
// until it is released.
void TSoundOutForm::RecordClicked() {
  bool started = false;
  {
    EngineLockGuard lock(Contraption().Engine().GetEngineLock());
    const int state = processor_.GetState();
    // A command the audio thread has not taken yet counts as carried out.
    const int action = processor_.action.Value();
    if (state == TGSoundOut::kRecording || state == TGSoundOut::kRecordPaused ||
        action == TGSoundOut::kRecord) {
      processor_.action.SetValue(TGSoundOut::kStop);
    } else if (state != TGSoundOut::kNoFile && state != TGSoundOut::kOpening) {
      processor_.action.SetValue(TGSoundOut::kRecord);
      started = true;
    }
  }
  if (!started) return;
  lost_->clear();  // a new take starts counting again
  waitingForSoundIn_ = processor_.punchMode.Value() == TGSoundOut::kSoundInSync;
  SetGlyph(record_, recordGlyph_, waitingForSoundIn_ ? "REC_PAUSED" : "STOP");
  play_->setEnabled(false);
  recordMode_->setEnabled(false);
  timer_->start();
}

void TSoundOutForm::PlayClicked() {
  enum { kNothing, kStopped, kStarted } done = kNothing;
  {
    EngineLockGuard lock(Contraption().Engine().GetEngineLock());
    const int state = processor_.GetState();
    if (state == TGSoundOut::kPlaying || processor_.action.Value() == TGSoundOut::kPlay) {
      processor_.action.SetValue(TGSoundOut::kStop);
      done = kStopped;
    } else if (state != TGSoundOut::kNoFile && state != TGSoundOut::kOpening) {
      processor_.action.SetValue(TGSoundOut::kPlay);
      done = kStarted;
    }
  }
  if (done == kNothing) return;
  SetGlyph(play_, playGlyph_, done == kStarted ? "STOP" : "PLAY");
  record_->setEnabled(done == kStopped);
  if (done == kStarted) timer_->start();
}

void TSoundOutForm::ShowPosition() {
  const double length = processor_.FileLengthMs();
  const double position = processor_.FilePositionMs();
  position_->setValue(length > 0.0 ? static_cast<int>(position / length * 10000.0) : 0);
  const int state = processor_.GetState();
  durationLabel_->setText(state == TGSoundOut::kNoFile || state == TGSoundOut::kOpening
                              ? QString()
                              : "duration: " + SecondsText(length / 1000.0));
}

void TSoundOutForm::ShowLostFrames() {
  lost_->setText(QString::fromStdString(processor_.TakeMessage()));
}

void TSoundOutForm::Tick() {
  // A take runs on until the worker has had all of it: what it lost shows then.
  const bool onDisk = processor_.FileWorker().PendingChunks() == 0;
  ShowPosition();
  // The count belongs to the take the audio thread has begun; until it has
  // taken the command, it is still the last take's.
  if (!processor_.action.IsChanged()) ShowLostFrames();
  const int state = processor_.GetState();
  if (waitingForSoundIn_ && state == TGSoundOut::kRecording) {
    waitingForSoundIn_ = false;
    SetGlyph(record_, recordGlyph_, "STOP");
  }
  // A command not yet taken by the audio thread still counts as running.
  if (processor_.action.IsChanged() || !onDisk) return;
  if (state == TGSoundOut::kNoFile) {
    // The file is gone: a take could not empty it (then the user hears
    // why), or a document named none.
    timer_->stop();
    waitingForSoundIn_ = false;
    UpdateControls();
    if (processor_.FileLost()) processor_.ReportFileProblem(processor_.FileProblem());
    return;
  }
  if (state == TGSoundOut::kStopped) {
    waitingForSoundIn_ = false;
    SetGlyph(play_, playGlyph_, "PLAY");
    SetGlyph(record_, recordGlyph_, "RECORD");
    play_->setEnabled(true);
    record_->setEnabled(true);
    recordMode_->setEnabled(true);
    timer_->stop();
  }
}

void TSoundOutForm::EnableForState(int state) {
  const bool usable = state != TGSoundOut::kNoFile && state != TGSoundOut::kOpening;
  for (QWidget* w : {static_cast<QWidget*>(play_), static_cast<QWidget*>(record_),
                     static_cast<QWidget*>(recordMode_), static_cast<QWidget*>(punchMode_)}) {
    w->setEnabled(usable);
  }
  duration_->setEnabled(usable && processor_.punchMode.Value() == TGSoundOut::kTimed);
  SetGlyph(play_, playGlyph_, state == TGSoundOut::kPlaying ? "STOP" : "PLAY");
  const bool recording = state == TGSoundOut::kRecording || state == TGSoundOut::kRecordPaused;
  SetGlyph(record_, recordGlyph_,
           state == TGSoundOut::kRecordPaused ? "REC_PAUSED"
           : recording                        ? "STOP"
                                              : "RECORD");
  if (recording) {
    play_->setEnabled(false);
    recordMode_->setEnabled(false);
  }
  if (state == TGSoundOut::kPlaying) record_->setEnabled(false);
  if (recording || state == TGSoundOut::kPlaying) {
    waitingForSoundIn_ = state == TGSoundOut::kRecordPaused;
    timer_->start();
  }
}

void TSoundOutForm::UpdateControls() {
  const QSignalBlocker a(recordMode_), b(punchMode_), c(duration_);
  const int state = processor_.GetState();
  file_->setText(state == TGSoundOut::kNoFile
                     ? QString()
                     : QFileInfo(QString::fromStdString(processor_.outputFile.Value())).fileName());
  file_->setToolTip(QString::fromStdString(processor_.outputFile.Value()));
  recordMode_->setCurrentIndex(processor_.fileMode.Value() == 1 ? 1 : 0);
  const int punch = processor_.punchMode.Value();
  punchMode_->setCurrentIndex(punch >= 0 && punch <= 2 ? punch : 0);
  duration_->SetValue(processor_.recordDuration.Value());
  EnableForState(state);
  ShowPosition();
  ShowLostFrames();
  TContraptionForm::UpdateControls();
}

void RegisterSoundOutWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TSoundOutForm>(type);
}

}  // namespace tg
