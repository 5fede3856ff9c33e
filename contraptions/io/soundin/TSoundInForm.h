#pragma once

#include <QString>

#include "forms/OpenSoundFileDialog.h"
#include "forms/TContraptionForm.h"

class QCheckBox;
class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace tg {

class KWNumberEdit;
class TAudioEngineModule;
class TGSoundIn;

// "SoundIn": the sound card's input, or a sound file played in its place,
// with its transport (play and pause, looping with a pause before each
// repetition, rewinding at the end) and position.
class TSoundInForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TSoundInForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  void UseInputFileClicked(bool useFile);
  // The Open button's work once a file is chosen (name as documents keep it).
  void ChooseFile(const QString& storedName);
  void PlayClicked();
  // The user moved the track bar to a position of 0 … 10000.
  void PositionMoved(int position);
  // The timer's work: the position, and the buttons once the file stopped.
  void Tick();

  QString PlayGlyph() const { return playGlyph_; }
  QCheckBox* UseFileBox() const { return useFile_; }
  QToolButton* OpenButton() const { return open_; }
  QToolButton* PlayButton() const { return play_; }
  QCheckBox* AutoRewindBox() const { return autoRewind_; }
  QCheckBox* LoopBox() const { return loop_; }
  KWNumberEdit* DelayEdit() const { return delay_; }
  QSlider* PositionBar() const { return position_; }
  QLabel* DurationLabel() const { return durationLabel_; }
  QLabel* FileLabel() const { return file_; }
  // Why the file cannot be played, or stopped before its end.
  QLabel* ProblemLabel() const { return problem_; }
  bool TimerRunning() const;
  // The Open button's question; replaceable for tests.
  OpenSoundFileDialog& FileDialog() { return dialog_; }

 private:
  TAudioEngineModule& Engine() const;
  void SetPlayGlyph(const QString& name);
  void EnableFileControls(bool useFile);
  void ShowPosition();
  void ShowProblem();

  TGSoundIn& processor_;
  QCheckBox* useFile_;
  QLabel* file_;
  QToolButton* open_;
  QToolButton* play_;
  QCheckBox* autoRewind_;
  QCheckBox* loop_;
  KWNumberEdit* delay_;
  QSlider* position_;
  QLabel* durationLabel_;
  QLabel* problem_;
  QTimer* timer_;
  OpenSoundFileDialog dialog_;
  QString playGlyph_;
};

}  // namespace tg
