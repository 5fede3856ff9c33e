#pragma once

#include "forms/OpenSoundFileDialog.h"
#include "forms/SoundFileRow.h"
#include "forms/TContraptionForm.h"

class QCheckBox;
class QLabel;
class QToolButton;

namespace tg {

class KWNumberEdit;
class TGLoopPlayer;

// "LoopPlayer": the loop's file, its length in bars, its phase against the
// bar line, stretching and the mute.
class TLoopPlayerForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TLoopPlayerForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // The open button's work: asks for a file and makes it the loop's.
  void ChooseFile();
  // Whether the panel is being kept up to date with a load in progress.
  bool WatchingLoads() const { return file_->WatchingLoads(); }

  QToolButton* OpenButton() const { return file_->OpenButton(); }
  QLabel* FileNamePanel() const { return file_->FileNamePanel(); }
  QCheckBox* StretchCheckBox() const { return stretch_; }
  QCheckBox* MuteCheckBox() const { return mute_; }
  KWNumberEdit* BarsNumberEdit() const { return bars_; }
  KWNumberEdit* PhaseNumberEdit() const { return phase_; }
  OpenSoundFileDialog& FileDialog() { return dialog_; }

 private:
  TGLoopPlayer& processor_;
  SoundFileRow* file_;
  QCheckBox* stretch_;
  QCheckBox* mute_;
  KWNumberEdit* bars_;
  KWNumberEdit* phase_;
  OpenSoundFileDialog dialog_;
};

}  // namespace tg
