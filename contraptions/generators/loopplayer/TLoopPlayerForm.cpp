#include "contraptions/generators/loopplayer/TLoopPlayerForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <string>

#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "controls/KWNumberEdit.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr int kLoopPlayerClientWidth = 342;
constexpr int kClientHeight = 73;
constexpr int kEditWidth = 50;

int32_t WholePart(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int32_t>(std::trunc(std::clamp(v, -1e9, 1e9)));
}

}  // namespace

TLoopPlayerForm::TLoopPlayerForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGLoopPlayer&>(contraption.Processor())),
      file_(new SoundFileRow(
          Body(), 4, 6, kLoopPlayerClientWidth - 8,
          {.name = [this]() -> const std::string& { return processor_.file.Value(); },
           .loadFailed = [this] { return processor_.LoadFailed(); },
           .loading = [this] { return processor_.Loading(); },
           .loadCut = [this] { return processor_.LoadCut(); }})),
      stretch_(new QCheckBox("Stretch", Body())),
      mute_(new QCheckBox("Mute", Body())),
      bars_(new KWNumberEdit(Body())),
      phase_(new KWNumberEdit(Body())) {
  setWindowTitle("LoopPlayer");
  QWidget* body = Body();

  // The file: label, open button and the name in a lowered panel.
  const int fileTop = 6;
  file_->OpenButton()->setToolTip("Choose the loop's sound file");
  connect(file_, &SoundFileRow::OpenClicked, this, [this] { ChooseFile(); });

  // Below: the loop's length and phase, and the two switches.
  const int rowTop = fileTop + SoundFileRow::kHeight + 14;
  auto placeEdit = [&](KWNumberEdit* edit, const QString& label, std::string_view parameter,
                       int x) {
    QLabel* l = PlaceLabel(label, body, x, 0);
    l->move(x, rowTop + (KWNumberEdit::kHeight - l->height()) / 2);
    edit->SetIntegersOnly(true);
    edit->SetIncrement(1);
    edit->SetAutoIncrement(false);
    TakeRange(edit, parameter);
    edit->setGeometry(l->geometry().right() + 5, rowTop, kEditWidth, KWNumberEdit::kHeight);
    return edit->geometry().right();
  };
  int x = placeEdit(bars_, "Bars:", "BarCount", 4);
  bars_->setToolTip("The loop's length in bars");
  x = placeEdit(phase_, "Phase:", "Phase", x + 12);
  phase_->setToolTip("Where the loop starts against the bar line, in sixteenth notes");
  // The switches keep to the right edge, under the end of the panel.
  stretch_->resize(stretch_->sizeHint());
  mute_->resize(mute_->sizeHint());
  const int boxTop = rowTop + (KWNumberEdit::kHeight - stretch_->height()) / 2;
  const int boxesX =
      std::max(x + 12, kLoopPlayerClientWidth - 4 - mute_->width() - 10 - stretch_->width());
  stretch_->move(boxesX, boxTop);
  stretch_->setToolTip("Stretch the file to the loop's length");
  mute_->move(stretch_->geometry().right() + 11, boxTop);
  mute_->setToolTip("Silence from the next bar line");

  connect(bars_, &KWNumberEdit::OnChange, this,
          [this](double v) { Edit(processor_.barCount, WholePart(v)); });
  connect(phase_, &KWNumberEdit::OnChange, this,
          [this](double v) { Edit(processor_.phase, WholePart(v)); });
  connect(stretch_, &QCheckBox::clicked, this, [this](bool on) { Edit(processor_.stretch, on); });
  connect(mute_, &QCheckBox::clicked, this, [this](bool on) { Edit(processor_.mute, on); });

  // Larger fonts than designed for make the window grow rather than cut.
  const QRect used = body->childrenRect();
  body->setMinimumSize(used.right() + 5, used.bottom() + 3);
  PlaceDesigned(QSize(kLoopPlayerClientWidth, kClientHeight + kHeaderHeight));
}

void TLoopPlayerForm::ChooseFile() {
  const QString chosen = dialog_.Ask(this, processor_.file.Value());
  if (chosen.isEmpty()) return;
  Edit(processor_.file, chosen.toStdString());
  file_->Refresh();
}

void TLoopPlayerForm::UpdateControls() {
  {
    const QSignalBlocker a(stretch_), b(mute_), c(bars_), d(phase_);
    stretch_->setChecked(processor_.stretch.Value());
    mute_->setChecked(processor_.mute.Value());
    bars_->SetValue(processor_.barCount.Value());
    phase_->SetValue(processor_.phase.Value());
  }
  file_->Refresh();
  TContraptionForm::UpdateControls();
}

void RegisterLoopPlayerWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TLoopPlayerForm>(type);
}

}  // namespace tg
