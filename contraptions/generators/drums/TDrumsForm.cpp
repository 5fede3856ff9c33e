#include "contraptions/generators/drums/TDrumsForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <bit>
#include <cstdint>

#include "contraptions/generators/drums/TGDrums.h"
#include "controls/KWDWKnob.h"
#include "controls/KWStepGrid.h"
#include "files/SoundFilePaths.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/HeardStep.h"
#include "forms/SoundFileRow.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr int kKnob = 30;
constexpr int kRow = 16;
constexpr int kClientWidth = 542;

uint32_t Bits(const QSIntProperty& gates) { return static_cast<uint32_t>(gates.Value()); }

}  // namespace

QString TDrumsForm::FileCaption(std::string_view storedName, bool missing) {
  if (storedName.empty()) return "[ empty ]";
  QString name = QString::fromStdString(std::string(storedName));
  // The extension goes (".wav" and the other sound files' alike).
  const qsizetype dot = name.lastIndexOf('.');
  if (dot > name.lastIndexOf('/') && dot > 0) name.truncate(dot);
  if (name.size() > 16) name = "..." + name.right(16);
  return missing ? name + " !" : name;
}

TDrumsForm::TDrumsForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGDrums&>(contraption.Processor())),
      grid_(new KWStepGrid(Body())),
      master_(new KWDWKnob(Body())),
      mute_(new QCheckBox("Mute", Body())),
      gate_(new QCheckBox("Gate 1 && 2", Body())),
      reframeLeft_(new QToolButton(Body())),
      reframeRight_(new QToolButton(Body())),
      loads_(new QTimer(this)) {
  setWindowTitle("Drums");
  QWidget* body = Body();

  grid_->SetColumns(TGDrums::kSteps, 11);
  grid_->SetRows(std::vector<int>(kSlots, kRow), {"1", "2", "3", "4", "5"});
  grid_->SetBeats(4, 4);
  grid_->SetLook([this](int step, int slot) {
    return KWStepGrid::CellLook{.set = ((Bits(processor_.Gates(slot)) >> step) & 1u) != 0};
  });
  grid_->move(4, 2);
  grid_->FollowPlayhead(HeardStep(contraption, TGDrums::kTicksPerStep, TGDrums::kSteps));
  connect(grid_, &KWStepGrid::CellPressed, this,
          [this](int step, int slot) { ToggleStep(step, slot); });
  connect(grid_, &KWStepGrid::CellKeyToggled, this,
          [this](int step, int slot) { ToggleStep(step, slot); });

  // Beside each row: whether the slot plays, and its file.
  const int boxX = grid_->geometry().right() + 6;
  const int fileX = boxX + 18;
  for (int i = 0; i < kSlots; ++i) {
    const int top = grid_->y() + grid_->CellRect(0, i).top();
    auto* box = new QCheckBox(body);
    box->setToolTip(QString("Slot %1 plays").arg(i + 1));
    box->setGeometry(boxX, top, 16, kRow);
    slotBoxes_[Index(i)] = box;
    connect(box, &QCheckBox::clicked, this,
            [this, i](bool plays) { Edit(processor_.SlotMute(i), !plays); });
    auto* file = new QPushButton(body);
    file->setGeometry(fileX, top, kClientWidth - 8 - fileX, kRow);
    file->setFocusPolicy(Qt::TabFocus);
    files_[Index(i)] = file;
    connect(file, &QPushButton::clicked, this, [this, i] { ChooseFile(i); });
  }

  // Under the grid: the slots' volumes, the master volume and the switches.
  const int labelTop = grid_->geometry().bottom() + 5;
  const int knobTop = labelTop + 14;
  PlaceLabel("Volume:", body, 4, labelTop);
  for (int i = 0; i < kSlots; ++i) {
    auto* knob = new KWDWKnob(body);
    const int x = 20 + i * (kKnob + 8);
    knob->setGeometry(x, knobTop, kKnob, kKnob);
    knob->setToolTip(QString("Volume of slot %1").arg(i + 1));
    TakeRange(knob, "Volume_" + std::to_string(i));
    volumes_[Index(i)] = knob;
    connect(knob, &KWDWKnob::OnChange, this,
            [this, i](double v) { Edit(processor_.SlotVolume(i), v); });
    QLabel* number = PlaceLabel(QString::number(i + 1), body, 0, knobTop + kKnob);
    number->move(x + (kKnob - number->width()) / 2, knobTop + kKnob);
  }
  const int masterX = 20 + kSlots * (kKnob + 8) + 18;
  QLabel* masterLabel = PlaceLabel("Master", body, masterX, labelTop);
  master_->setGeometry(masterX + (masterLabel->width() - kKnob) / 2, knobTop, kKnob, kKnob);
  TakeRange(master_, "Volume");
  connect(master_, &KWDWKnob::OnChange, this, [this](double v) { Edit(processor_.volume, v); });

  const int switchX = masterLabel->geometry().right() + 24;
  mute_->move(switchX, knobTop - 2);
  mute_->resize(mute_->sizeHint());
  gate_->move(switchX, knobTop + 18);
  gate_->resize(gate_->sizeHint());
  gate_->setToolTip("Slots 1 and 2 cut each other off");
  connect(mute_, &QCheckBox::clicked, this, [this](bool on) { Edit(processor_.mute, on); });
  connect(gate_, &QCheckBox::clicked, this, [this](bool on) { Edit(processor_.gate0And1, on); });

  QLabel* reframe = PlaceLabel("Reframe:", body, boxX, knobTop + 1);
  reframeLeft_->setArrowType(Qt::LeftArrow);
  reframeRight_->setArrowType(Qt::RightArrow);
  reframeLeft_->setToolTip("Every hit one step earlier");
  reframeRight_->setToolTip("Every hit one step later");
  reframeLeft_->setGeometry(reframe->geometry().right() + 6, knobTop - 2, 22, 20);
  reframeRight_->setGeometry(reframeLeft_->geometry().right() + 3, knobTop - 2, 22, 20);
  connect(reframeLeft_, &QToolButton::clicked, this, [this] { Reframe(true); });
  connect(reframeRight_, &QToolButton::clicked, this, [this] { Reframe(false); });

  // A file being loaded may yet fail: its caption follows until it is done.
  loads_->setInterval(100);
  connect(loads_, &QTimer::timeout, this, [this] { RefreshFileCaptions(); });

  // Larger fonts than designed for make the window grow rather than cut.
  const QRect used = body->childrenRect();
  body->setMinimumSize(used.right() + 5, used.bottom() + 3);
  PlaceDesigned(QSize(kClientWidth, 164 + kHeaderHeight));
}

void TDrumsForm::ToggleStep(int step, int slot) {
  if (step < 0 || step >= TGDrums::kSteps || slot < 0 || slot >= kSlots) return;
  QSIntProperty& gates = processor_.Gates(slot);
  Edit(gates, static_cast<int32_t>(Bits(gates) ^ (1u << step)));
  grid_->UpdateCell(step, slot);
}

void TDrumsForm::Reframe(bool left) {
  for (int i = 0; i < kSlots; ++i) {
    QSIntProperty& gates = processor_.Gates(i);
    const uint32_t bits = Bits(gates);
    Edit(gates, static_cast<int32_t>(left ? std::rotr(bits, 1) : std::rotl(bits, 1)));
  }
  grid_->UpdateCells();
}

void TDrumsForm::ChooseFile(int slot) {
  QSCStringProperty& file = processor_.File(slot);
  const QString chosen = dialog_.Ask(this, file.Value());
  if (chosen.isEmpty()) return;
  Edit(file, chosen.toStdString());
  RefreshFileCaptions();
}

bool TDrumsForm::WatchingLoads() const { return loads_->isActive(); }

void TDrumsForm::RefreshFileCaptions() {
  bool loading = false;
  for (int i = 0; i < kSlots; ++i) {
    // Asked first: once a load is seen finished, its outcome below is final.
    loading = processor_.SlotLoading(i) || loading;
    const std::string& name = processor_.File(i).Value();
    const bool missing = !name.empty() && (!SoundFileExists(name) || processor_.SlotLoadFailed(i));
    QPushButton* button = files_[Index(i)];
    button->setText(FileCaption(MakeRelativePath(name), missing));
    button->setToolTip(name.empty() ? QString("Choose the sound of slot %1").arg(i + 1)
                                    : QString::fromStdString(SoundFileTip(name, missing)));
  }
  if (loading && !loads_->isActive()) {
    loads_->start();
  } else if (!loading) {
    loads_->stop();
  }
}

void TDrumsForm::UpdateControls() {
  {
    const QSignalBlocker a(gate_), b(master_), c(mute_);
    gate_->setChecked(processor_.gate0And1.Value());
    master_->SetValue(processor_.volume.Value());
    mute_->setChecked(processor_.mute.Value());
    for (int i = 0; i < kSlots; ++i) {
      const QSignalBlocker d(volumes_[Index(i)]), e(slotBoxes_[Index(i)]);
      volumes_[Index(i)]->SetValue(processor_.SlotVolume(i).Value());
      slotBoxes_[Index(i)]->setChecked(!processor_.SlotMute(i).Value());
    }
  }
  RefreshFileCaptions();
  grid_->UpdateCells();
  TContraptionForm::UpdateControls();
}

void RegisterDrumsWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TDrumsForm>(type);
}

}  // namespace tg
