#include "contraptions/io/soundin/TSoundInForm.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include "contraptions/io/soundin/TGSoundIn.h"
#include "controls/KWNumberEdit.h"
#include "controls/StagePalette.h"
#include "engine/TAudioEngineModule.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TransportGlyph.h"
#include "framework/TGardeningContraption.h"

namespace tg {

TSoundInForm::TSoundInForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGSoundIn&>(contraption.Processor())),
      useFile_(new QCheckBox("Use Input File", Body())),
      file_(new QLabel(Body())),
      open_(new QToolButton(Body())),
      play_(new QToolButton(Body())),
      autoRewind_(new QCheckBox("Auto Rewind", Body())),
      loop_(new QCheckBox("Loop", Body())),
      delay_(new KWNumberEdit(Body())),
      position_(new QSlider(Qt::Horizontal, Body())),
      durationLabel_(new QLabel(Body())),
      problem_(new QLabel(Body())),
      timer_(new QTimer(this)) {
  setWindowTitle("SoundIn");
  file_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  file_->setMinimumWidth(150);
  open_->setText("...");
  open_->setToolTip("Select Source File");
  delay_->SetMin(0);
  delay_->SetMax(600);
  delay_->SetIncrement(1);
  delay_->SetAutoIncrement(false);
  delay_->setFixedWidth(60);
  position_->setRange(0, 10000);
  problem_->setWordWrap(true);
  problem_->setStyleSheet(WarningStyle());
  SetPlayGlyph("PLAY");
  timer_->setInterval(1000);

  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setVerticalSpacing(3);
  grid->addWidget(useFile_, 0, 0, 1, 4);
  grid->addWidget(new QLabel("File:", Body()), 1, 0);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(open_);
  grid->addLayout(fileRow, 1, 1, 1, 3);
  auto* transport = new QHBoxLayout;
  transport->addWidget(play_);
  transport->addWidget(autoRewind_);
  transport->addWidget(loop_);
  transport->addStretch();
  transport->addWidget(durationLabel_);
  grid->addLayout(transport, 2, 0, 1, 4);
  grid->addWidget(new QLabel("Delay:", Body()), 3, 0);
  auto* delayRow = new QHBoxLayout;
  delayRow->addWidget(delay_);
  delayRow->addWidget(new QLabel("(seconds)", Body()));
  delayRow->addStretch();
  grid->addLayout(delayRow, 3, 1, 1, 3);
  grid->addWidget(position_, 4, 0, 1, 4);
  grid->addWidget(problem_, 5, 0, 1, 4);

  connect(useFile_, &QCheckBox::clicked, this, [this](bool on) { UseInputFileClicked(on); });
  connect(open_, &QToolButton::clicked, this, [this] {
    const QString chosen = dialog_.Ask(this, processor_.inputFile.Value());
    if (!chosen.isEmpty()) ChooseFile(chosen);
  });
  connect(play_, &QToolButton::clicked, this, [this] { PlayClicked(); });
  connect(autoRewind_, &QCheckBox::clicked, this,
          [this](bool on) { Edit(processor_.autoRewind, on); });
  connect(loop_, &QCheckBox::clicked, this, [this](bool on) { Edit(processor_.loop, on); });
  connect(delay_, &KWNumberEdit::OnChange, this,
          [this](double seconds) { Edit(processor_.loopDelay, seconds * 1000.0); });
  // One seek when a drag ends, not one per pixel; the timer's updates are
  // made with the signal blocked, so only the user's moves arrive here.
  position_->setTracking(false);
  connect(position_, &QSlider::valueChanged, this, [this](int at) { PositionMoved(at); });
  connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
  PlaceDesigned(QSize(250, 150 + kHeaderHeight));
}

TAudioEngineModule& TSoundInForm::Engine() const {
  // SoundIn's contraption lives only in the audio engine.
  return static_cast<TAudioEngineModule&>(Contraption().Engine());
}

bool TSoundInForm::TimerRunning() const { return timer_->isActive(); }

void TSoundInForm::SetPlayGlyph(const QString& name) {
  playGlyph_ = name;
  play_->setIcon(TransportGlyph(name));
  play_->setToolTip(name == "PLAY" ? "Play" : "Pause");
}

void TSoundInForm::UseInputFileClicked(bool useFile) {
  // The engine stops audio in (or the file), records the edit and tells the
  // main window and this window to show it.
  Engine().EditUseInputFile(useFile);
  UpdateControls();
}

void TSoundInForm::ChooseFile(const QString& storedName) {
  Edit(processor_.inputFile, storedName.toStdString());
  // Not under the engine lock: waits for the file's header. The engine may
  // have opened it already as it followed the edit.
  if (processor_.inputFile.IsChanged()) processor_.Reset();
  UpdateControls();
}

void TSoundInForm::PlayClicked() {
  if (processor_.active.Value()) {
    processor_.active.SetValue(false);
    SetPlayGlyph("PLAY");
    ShowPosition();
  } else if (processor_.fileIsGood.Value()) {
    processor_.active.SetValue(true);
    SetPlayGlyph("PAUSE");
    problem_->clear();
    timer_->start();
  }
}

void TSoundInForm::PositionMoved(int position) {
  const double duration = processor_.duration.Value();
  if (duration == 0.0) return;
  processor_.location.SetValue(duration * position / 10000.0);
}

void TSoundInForm::ShowPosition() {
  const double duration = processor_.duration.Value();
  if (position_->isSliderDown()) return;  // the user holds it
  const QSignalBlocker block(position_);
  position_->setValue(
      duration > 0.0 ? static_cast<int>(processor_.location.Value() / duration * 10000.0) : 0);
}

void TSoundInForm::ShowProblem() {
  problem_->setText(QString::fromStdString(processor_.FileProblem()));
}

void TSoundInForm::Tick() {
  ShowPosition();
  // A Play the audio thread has not taken yet still counts as playing.
  if (processor_.active.Value() || processor_.active.IsChanged()) return;
  SetPlayGlyph("PLAY");
  play_->setEnabled(processor_.fileIsGood.Value() && useFile_->isChecked());
  ShowProblem();
  timer_->stop();
}

void TSoundInForm::EnableFileControls(bool useFile) {
  for (QWidget* w : {static_cast<QWidget*>(file_), static_cast<QWidget*>(open_),
                     static_cast<QWidget*>(autoRewind_), static_cast<QWidget*>(loop_),
                     static_cast<QWidget*>(delay_), static_cast<QWidget*>(position_)}) {
    w->setEnabled(useFile);
  }
  play_->setEnabled(useFile && processor_.fileIsGood.Value());
}

void TSoundInForm::UpdateControls() {
  const QSignalBlocker a(useFile_), b(autoRewind_), c(loop_), d(delay_);
  const bool useFile = !processor_.useADC.Value();
  useFile_->setChecked(useFile);
  const std::string& name = processor_.inputFile.Value();
  file_->setText(QFileInfo(QString::fromStdString(name)).fileName());
  file_->setToolTip(QString::fromStdString(name));
  durationLabel_->setText(processor_.fileIsGood.Value()
                              ? "duration: " + SecondsText(processor_.duration.Value() / 1000.0)
                              : QString());
  autoRewind_->setChecked(processor_.autoRewind.Value());
  loop_->setChecked(processor_.loop.Value());
  delay_->SetValue(processor_.loopDelay.Value() / 1000.0);
  const bool active = processor_.active.Value();
  SetPlayGlyph(active ? "PAUSE" : "PLAY");
  if (active) timer_->start();
  EnableFileControls(useFile);
  ShowPosition();
  ShowProblem();
  TContraptionForm::UpdateControls();
}

void RegisterSoundInWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TSoundInForm>(type);
}

}  // namespace tg
