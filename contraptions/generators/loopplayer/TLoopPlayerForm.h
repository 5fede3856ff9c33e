#pragma once

#include <QString>
#include <string_view>

#include "framework/forms/OpenSoundFileDialog.h"
#include "framework/forms/TContraptionForm.h"

class QCheckBox;
class QLabel;
class QTimer;
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

  // The panel's text for a stored name: the name, with " !" when the file is
  // missing or could not be read.
  static QString PanelCaption(std::string_view storedName, bool missing);

  // The open button's work: asks for a file and makes it the loop's.
  void ChooseFile();
  // Whether the panel is being kept up to date with a load in progress.
  bool WatchingLoads() const;

  QToolButton* OpenButton() const { return open_; }
  QLabel* FileNamePanel() const { return fileName_; }
  QCheckBox* StretchCheckBox() const { return stretch_; }
  QCheckBox* MuteCheckBox() const { return mute_; }
  KWNumberEdit* BarsNumberEdit() const { return bars_; }
  KWNumberEdit* PhaseNumberEdit() const { return phase_; }
  OpenSoundFileDialog& FileDialog() { return dialog_; }

 private:
  void RefreshFileName();

  TGLoopPlayer& processor_;
  QToolButton* open_;
  QLabel* fileName_;
  QCheckBox* stretch_;
  QCheckBox* mute_;
  KWNumberEdit* bars_;
  KWNumberEdit* phase_;
  QTimer* loads_;
  OpenSoundFileDialog dialog_;
};

}  // namespace tg
