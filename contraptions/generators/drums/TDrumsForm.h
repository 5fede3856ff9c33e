#pragma once

#include <QString>
#include <array>
#include <string_view>

#include "forms/OpenSoundFileDialog.h"
#include "forms/TContraptionForm.h"

class QCheckBox;
class QPushButton;
class QTimer;
class QToolButton;

namespace tg {

class KWDWKnob;
class KWStepGrid;
class TGDrums;

// "Drums": the 32-step grid of the five slots, each slot's file, mute and
// volume, the master volume and mute, the slot 1 and 2 gate, and reframing.
class TDrumsForm final : public TContraptionForm {
  Q_OBJECT

 public:
  static constexpr int kSlots = 5;

  TDrumsForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // A file button's caption for a stored name: "[ empty ]", or the name
  // without its extension (only its last 16 characters after "..." when
  // longer), with " !" when the file is missing or could not be read.
  static QString FileCaption(std::string_view storedName, bool missing);

  // The file button's work: asks for a file and puts it in the slot.
  void ChooseFile(int slot);
  // Rotates every pattern one step: left moves every hit one step earlier.
  void Reframe(bool left);
  // Whether the captions are being kept up to date with a load in progress.
  bool WatchingLoads() const;

  KWStepGrid* Grid() const { return grid_; }
  QPushButton* FileButton(int slot) const { return files_[Index(slot)]; }
  QCheckBox* SlotBox(int slot) const { return slotBoxes_[Index(slot)]; }
  KWDWKnob* VolumeKnob(int slot) const { return volumes_[Index(slot)]; }
  KWDWKnob* MasterVolumeKnob() const { return master_; }
  QCheckBox* MuteCheckBox() const { return mute_; }
  QCheckBox* Gate12CheckBox() const { return gate_; }
  QToolButton* ReframeLeftButton() const { return reframeLeft_; }
  QToolButton* ReframeRightButton() const { return reframeRight_; }
  OpenSoundFileDialog& FileDialog() { return dialog_; }

 private:
  static size_t Index(int slot) { return static_cast<size_t>(slot); }
  void ToggleStep(int step, int slot);
  void RefreshFileCaptions();

  TGDrums& processor_;
  KWStepGrid* grid_;
  std::array<QPushButton*, kSlots> files_{};
  std::array<QCheckBox*, kSlots> slotBoxes_{};
  std::array<KWDWKnob*, kSlots> volumes_{};
  KWDWKnob* master_;
  QCheckBox* mute_;
  QCheckBox* gate_;
  QToolButton* reframeLeft_;
  QToolButton* reframeRight_;
  QTimer* loads_;
  OpenSoundFileDialog dialog_;
};

}  // namespace tg
