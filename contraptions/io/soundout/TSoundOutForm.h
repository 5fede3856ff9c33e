#pragma once

#include <QString>
#include <string>

#include "forms/TContraptionForm.h"

class QComboBox;
class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace tg {

class KWNumberEdit;
class TGSoundOut;

// "SoundOut": the file to record to and play from, the record and play
// buttons, record and punch modes, the timed duration and the position.
class TSoundOutForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TSoundOutForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // Seconds with at most two decimals cut from the number's text, then " (sec)".
  static QString SecondsText(double seconds);

  // Where the Open button's save dialog starts: the current file, else
  // "Untitled.wav" in the last output directory.
  std::string SaveProposal() const;
  // The Open button's work once a file is chosen (the dialog is the caller's):
  // hands the file to SoundOut's worker and returns at once; the window
  // shows the outcome when it is known (CheckOpenedFile).
  void ChooseFile(const QString& fileName);
  // The short timer's work while a chosen file opens: once it has, the
  // document keeps the name relative where it can, and the user hears why a
  // file cannot be used.
  void CheckOpenedFile();
  bool OpeningFile() const;
  void RecordClicked();
  void PlayClicked();
  // The timer's work: position, duration and the buttons once a take ended.
  void Tick();

  QString PlayGlyph() const { return playGlyph_; }
  QString RecordGlyph() const { return recordGlyph_; }
  QToolButton* PlayButton() const { return play_; }
  QToolButton* RecordButton() const { return record_; }
  QComboBox* RecordModeBox() const { return recordMode_; }
  QComboBox* PunchModeBox() const { return punchMode_; }
  KWNumberEdit* DurationEdit() const { return duration_; }
  QSlider* PositionBar() const { return position_; }
  QLabel* DurationLabel() const { return durationLabel_; }
  QLabel* FileLabel() const { return file_; }
  // What the last take lost because the disk fell behind; empty when nothing.
  QLabel* LostLabel() const { return lost_; }
  QLabel* ClipLabel() const { return clips_; }
  // The clipped samples of the current take, when there are any.
  void ShowClips();
  bool TimerRunning() const;

 private:
  void OpenClicked();
  void SetGlyph(QToolButton* button, QString& glyph, const QString& name);
  void EnableForState(int state);
  void ShowPosition();
  void ShowLostFrames();

  TGSoundOut& processor_;
  QLabel* file_;
  QToolButton* open_;
  QToolButton* play_;
  QToolButton* record_;
  QComboBox* recordMode_;
  QComboBox* punchMode_;
  KWNumberEdit* duration_;
  QSlider* position_;
  QLabel* durationLabel_;
  QLabel* lost_;
  QLabel* clips_;
  QTimer* timer_;
  QTimer* levels_;
  QTimer* opening_;
  QString playGlyph_, recordGlyph_;
  bool waitingForSoundIn_ = false;
};

}  // namespace tg
