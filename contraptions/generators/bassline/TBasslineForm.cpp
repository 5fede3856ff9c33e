#include "contraptions/generators/bassline/TBasslineForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cstdint>

#include "contraptions/generators/bassline/BasslinePattern.h"
#include "contraptions/generators/bassline/TGBassline.h"
#include "controls/KWDWKnob.h"
#include "controls/KWStepGrid.h"
#include "controls/TPianoNotes.h"
#include "dsp/NoteNumbers.h"
#include "dsp/QSNoiseSource.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/HeardStep.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr int kBasslineClientWidth = 542;
constexpr int kBasslineKnob = 30;
constexpr int kSteps = BasslinePattern::kSteps;

struct KnobSpec {
  const char* label;
  const char* parameter;
  QSDoubleProperty TGBassline::*property;
};

constexpr std::array<KnobSpec, TBasslineForm::kKnobs> kKnobSpecs{{
    {"Cutoff", "CutoffFreq", &TGBassline::cutoffFreq},
    {"Resonance", "Resonance", &TGBassline::resonance},
    {"Env mod", "EnvMod", &TGBassline::envMod},
    {"Accent", "Accent", &TGBassline::accent},
    {"Decay", "Decay", &TGBassline::decay},
    {"Volume", "Volume", &TGBassline::volume},
    {"Overdrive", "Overdrive", &TGBassline::overdrive},
    {"LFO Depth", "LFODepth", &TGBassline::lfoDepth},
    {"LFO Rate", "LFORate", &TGBassline::lfoRate},
}};

// One period of each waveform, drawn in the button's text colour.
QIcon WaveGlyph(bool square, const QColor& colour) {
  QPixmap pixmap(18, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(colour, 1.5));
  QPainterPath path;
  if (square) {
    path.moveTo(1, 10);
    path.lineTo(1, 2);
    path.lineTo(9, 2);
    path.lineTo(9, 10);
    path.lineTo(17, 10);
    path.lineTo(17, 2);
  } else {
    path.moveTo(1, 10);
    path.lineTo(1, 2);
    path.lineTo(9, 10);
    path.lineTo(9, 2);
    path.lineTo(17, 10);
  }
  painter.drawPath(path);
  return QIcon(pixmap);
}

uint32_t BasslineBits(const QSIntProperty& mask) { return static_cast<uint32_t>(mask.Value()); }

}  // namespace

QSNoiseSource& TBasslineForm::Noise() {
  static QSNoiseSource noise(QSNoiseSource::ClockSeed());
  return noise;
}

QString TBasslineForm::NoteText(int note) {
  if (note == 0) return "off";
  if (note < 0) return QString::number(note);
  return QString::fromStdString(NoteName(note));
}

TBasslineForm::TBasslineForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGBassline&>(contraption.Processor())),
      grid_(new KWStepGrid(Body())),
      saw_(new QToolButton(Body())),
      square_(new QToolButton(Body())),
      mute_(new QCheckBox("Mute", Body())),
      randomize_(new QPushButton("Rand", Body())),
      reframeLeft_(new QToolButton(Body())),
      reframeRight_(new QToolButton(Body())),
      transpose_(new QPushButton("+/-", Body())),
      transposePopup_(new QFrame(this, Qt::Popup)) {
  setWindowTitle("kw303");
  QWidget* body = Body();
  // Every window starts a new random sequence.
  Noise() = QSNoiseSource(QSNoiseSource::ClockSeed());
  pickNote = [this](QPoint at, int current) {
    return TPianoNotes::Pick(at, current, kPickerBottomKey, kPickerKeyRange, this);
  };

  // The waveform, then the knobs, each under its label.
  const QColor ink = palette().color(QPalette::ButtonText);
  saw_->setIcon(WaveGlyph(false, ink));
  square_->setIcon(WaveGlyph(true, ink));
  saw_->setToolTip("Saw");
  square_->setToolTip("Square");
  auto* waveforms = new QButtonGroup(this);
  int y = 4;
  for (QToolButton* button : {saw_, square_}) {
    button->setCheckable(true);
    button->setGeometry(4, y, 26, 20);
    waveforms->addButton(button);
    y += 22;
  }
  saw_->setChecked(true);
  connect(saw_, &QToolButton::clicked, this, [this] { Edit(processor_.waveform, 0); });
  connect(square_, &QToolButton::clicked, this, [this] { Edit(processor_.waveform, 1); });

  // Each knob's column as wide as its label, the room left shared out evenly.
  std::array<QLabel*, kKnobs> labels{};
  int labelled = 0;
  for (int i = 0; i < kKnobs; ++i) {
    QLabel* label = PlaceLabel(kKnobSpecs[static_cast<size_t>(i)].label, body, 0, 2);
    labels[static_cast<size_t>(i)] = label;
    labelled += std::max(label->width(), kBasslineKnob);
  }
  const int knobsLeft = 36;
  const int gap = std::max(2, (kBasslineClientWidth - 8 - knobsLeft - labelled) / kKnobs);
  int x = knobsLeft;
  for (int i = 0; i < kKnobs; ++i) {
    const KnobSpec& spec = kKnobSpecs[static_cast<size_t>(i)];
    QLabel* label = labels[static_cast<size_t>(i)];
    const int width = std::max(label->width(), kBasslineKnob) + gap;
    const int centre = x + width / 2;
    x += width;
    label->move(centre - label->width() / 2, 2);
    auto* knob = new KWDWKnob(body);
    knob->setGeometry(centre - kBasslineKnob / 2, 16, kBasslineKnob, kBasslineKnob);
    TakeRange(knob, spec.parameter);
    knobs_[static_cast<size_t>(i)] = knob;
    connect(knob, &KWDWKnob::OnChange, this, [this, i](double v) {
      Edit(processor_.*kKnobSpecs[static_cast<size_t>(i)].property, v);
    });
  }

  // The pattern.
  grid_->SetColumns(kSteps, 22);
  grid_->SetRows({8, 8, 8, 17}, {"On/Off", "Accent", "Ties", "Notes"});
  grid_->SetBeats(4, 4);
  grid_->SetLook([this](int step, int row) {
    const BasslinePattern pattern = processor_.Pattern();
    switch (row) {
      case kGatesRow:
        return KWStepGrid::CellLook{.set = ((pattern.gates >> step) & 1) != 0};
      case kAccentsRow:
        return KWStepGrid::CellLook{.set = ((pattern.accents >> step) & 1) != 0};
      case kTiesRow:
        return KWStepGrid::CellLook{.set = ((pattern.ties >> step) & 1) != 0};
      default:
        return KWStepGrid::CellLook{.text = NoteText(pattern.notes[static_cast<size_t>(step)])};
    }
  });
  grid_->move(4, 52);
  grid_->FollowPlayhead(HeardStep(contraption, TGBassline::kTicksPerStep, kSteps));
  connect(grid_, &KWStepGrid::CellPressed, this,
          [this](int step, int row) { CellPressed(step, row); });
  connect(grid_, &KWStepGrid::CellReleased, this, &TBasslineForm::CellReleased);
  connect(grid_, &KWStepGrid::CellKeyToggled, this, [this](int step, int row) {
    if (row == kNotesRow) {
      PickNote(step, grid_->mapToGlobal(grid_->CellRect(step, row).center()));
    } else {
      CellPressed(step, row);
    }
  });

  // Beside the pattern: the mute and what changes the pattern as a whole.
  const int sideX = grid_->geometry().right() + 10;
  const int sideTop = grid_->y() + grid_->HeadingHeight();
  mute_->move(sideX, sideTop - 4);
  mute_->resize(mute_->sizeHint());
  connect(mute_, &QCheckBox::clicked, this, [this](bool on) { Edit(processor_.mute, on); });
  randomize_->setGeometry(sideX, sideTop + 16, 48, 20);
  randomize_->setToolTip("New notes, gates, accents and ties");
  connect(randomize_, &QPushButton::clicked, this, [this] { Randomize(); });
  transpose_->setGeometry(sideX + 54, sideTop + 16, 40, 20);
  transpose_->setToolTip("Transpose every note");
  QLabel* reframe = PlaceLabel("Reframe:", body, sideX, sideTop + 44);
  reframeLeft_->setArrowType(Qt::LeftArrow);
  reframeRight_->setArrowType(Qt::RightArrow);
  reframeLeft_->setToolTip("Every step one earlier");
  reframeRight_->setToolTip("Every step one later");
  reframeLeft_->setGeometry(reframe->geometry().right() + 6, sideTop + 41, 22, 20);
  reframeRight_->setGeometry(reframeLeft_->geometry().right() + 3, sideTop + 41, 22, 20);
  connect(reframeLeft_, &QToolButton::clicked, this, [this] { Reframe(true); });
  connect(reframeRight_, &QToolButton::clicked, this, [this] { Reframe(false); });

  // "-1" … "-12" down the first column, "+12" … "+1" down the second.
  auto* items = new QGridLayout(transposePopup_);
  items->setContentsMargins(2, 2, 2, 2);
  items->setSpacing(0);
  transposePopup_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  for (int i = 0; i < 12; ++i) {
    for (int semitones : {-(i + 1), 12 - i}) {
      auto* item = new QToolButton(transposePopup_);
      item->setText(semitones > 0 ? QString("+%1").arg(semitones) : QString::number(semitones));
      item->setAutoRaise(true);
      item->setFocusPolicy(Qt::NoFocus);
      item->setMinimumWidth(34);
      items->addWidget(item, i, semitones < 0 ? 0 : 1);
      connect(item, &QToolButton::clicked, this, [this, semitones] {
        transposePopup_->hide();
        Transpose(semitones);
      });
    }
  }
  connect(transpose_, &QPushButton::pressed, this, [this] {
    transposePopup_->adjustSize();
    transposePopup_->move(transpose_->mapToGlobal(QPoint(0, 0)));
    transposePopup_->show();
    // The popup takes the mouse: the button would otherwise stay down.
    transpose_->setDown(false);
  });

  const QRect used = body->childrenRect();
  body->setMinimumSize(used.right() + 5, used.bottom() + 3);
  PlaceDesigned(QSize(kBasslineClientWidth, 133 + kHeaderHeight));
}

void TBasslineForm::CellPressed(int step, int row) {
  if (step < 0 || step >= kSteps) return;
  QSIntProperty* mask = row == kGatesRow     ? &processor_.gates
                        : row == kAccentsRow ? &processor_.accents
                        : row == kTiesRow    ? &processor_.ties
                                             : nullptr;
  if (mask == nullptr) return;  // notes are picked on release
  Edit(*mask, static_cast<int32_t>(BasslineBits(*mask) ^ (1u << step)));
  grid_->UpdateCell(step, row);
}

void TBasslineForm::CellReleased(int step, int row, QPoint position) {
  if (row == kNotesRow) PickNote(step, grid_->mapToGlobal(position));
}

void TBasslineForm::PickNote(int step, QPoint screenPoint) {
  if (step < 0 || step >= kSteps) return;
  BasslinePattern pattern = processor_.Pattern();
  const int chosen = pickNote(screenPoint, pattern.notes[static_cast<size_t>(step)]);
  if (chosen < 1 || chosen > 127) return;
  pattern.notes[static_cast<size_t>(step)] = static_cast<int8_t>(chosen);
  WritePattern(pattern);
}

void TBasslineForm::Transpose(int semitones) {
  BasslinePattern pattern = processor_.Pattern();
  pattern.Transpose(semitones);
  WritePattern(pattern);
}

void TBasslineForm::Randomize() {
  BasslinePattern pattern = processor_.Pattern();
  pattern.Randomize(Noise());
  WritePattern(pattern);
}

void TBasslineForm::Reframe(bool left) {
  BasslinePattern pattern = processor_.Pattern();
  if (left) {
    pattern.ReframeLeft();
  } else {
    pattern.ReframeRight();
  }
  WritePattern(pattern);
}

void TBasslineForm::WritePattern(const BasslinePattern& pattern) {
  const BasslinePattern old = processor_.Pattern();
  if (pattern.gates != old.gates) Edit(processor_.gates, static_cast<int32_t>(pattern.gates));
  if (pattern.accents != old.accents)
    Edit(processor_.accents, static_cast<int32_t>(pattern.accents));
  if (pattern.ties != old.ties) Edit(processor_.ties, static_cast<int32_t>(pattern.ties));
  EightChars first{}, second{};
  std::copy_n(pattern.notes.begin(), 8, first.begin());
  std::copy_n(pattern.notes.begin() + 8, 8, second.begin());
  if (first != processor_.notes0.Value()) Edit(processor_.notes0, first);
  if (second != processor_.notes1.Value()) Edit(processor_.notes1, second);
  grid_->UpdateCells();
}

void TBasslineForm::UpdateControls() {
  {
    const QSignalBlocker a(saw_), b(square_), c(mute_);
    (processor_.waveform.Value() == 0 ? saw_ : square_)->setChecked(true);
    mute_->setChecked(processor_.mute.Value());
    for (int i = 0; i < kKnobs; ++i) {
      KWDWKnob* knob = knobs_[static_cast<size_t>(i)];
      const QSignalBlocker d(knob);
      knob->SetValue((processor_.*kKnobSpecs[static_cast<size_t>(i)].property).Value());
    }
  }
  grid_->UpdateCells();
  TContraptionForm::UpdateControls();
}

void RegisterBasslineWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TBasslineForm>(type);
}

}  // namespace tg
