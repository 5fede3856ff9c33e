#pragma once

#include <QFrame>
#include <array>
#include <functional>

#include "forms/TContraptionForm.h"

class QCheckBox;
class QPoint;
class QPushButton;
class QToolButton;

namespace tg {

class KWDWKnob;
class KWStepGrid;
class QSNoiseSource;
class TGBassline;
struct BasslinePattern;

// "kw303": the bass line's sound (waveform and nine knobs), its mute and its
// sixteen-step pattern: gates, accents, ties and notes, with randomizing,
// reframing and transposing.
class TBasslineForm final : public TContraptionForm {
  Q_OBJECT

 public:
  static constexpr int kKnobs = 9;
  // The grid's rows.
  enum Row { kGatesRow, kAccentsRow, kTiesRow, kNotesRow };
  // Where the note picker's keyboard starts and how many keys it spans.
  static constexpr int kPickerBottomKey = 12;
  static constexpr int kPickerKeyRange = 65;

  TBasslineForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // "c3" for 36, "off" for 0.
  static QString NoteText(int note);
  // Every note k semitones up (down when negative), where it stays a note.
  void Transpose(int semitones);
  // New notes, gates, ties and accents.
  void Randomize();
  // Rotates the pattern one step: left moves every step one earlier.
  void Reframe(bool left);
  // The note picker, as it is opened over a step of the notes row: answers
  // the chosen key or −1. Replaceable, so the window can be tested without a
  // modal picker.
  std::function<int(QPoint screenPoint, int currentNote)> pickNote;

  KWStepGrid* Grid() const { return grid_; }
  QToolButton* SawButton() const { return saw_; }
  QToolButton* SquareButton() const { return square_; }
  // In the order "Cutoff", "Resonance", "Env mod", "Accent", "Decay",
  // "Volume", "Overdrive", "LFO Depth", "LFO Rate".
  KWDWKnob* Knob(int index) const { return knobs_[static_cast<size_t>(index)]; }
  QCheckBox* MuteCheckBox() const { return mute_; }
  QPushButton* RandomizeButton() const { return randomize_; }
  QToolButton* ReframeLeftButton() const { return reframeLeft_; }
  QToolButton* ReframeRightButton() const { return reframeRight_; }
  QPushButton* TransposeButton() const { return transpose_; }
  QFrame* TransposePopup() const { return transposePopup_; }

 private:
  void CellPressed(int step, int row);
  void CellReleased(int step, int row, QPoint position);
  void PickNote(int step, QPoint screenPoint);
  void WritePattern(const BasslinePattern& pattern);
  static QSNoiseSource& Noise();

  TGBassline& processor_;
  KWStepGrid* grid_;
  QToolButton* saw_;
  QToolButton* square_;
  std::array<KWDWKnob*, kKnobs> knobs_{};
  QCheckBox* mute_;
  QPushButton* randomize_;
  QToolButton* reframeLeft_;
  QToolButton* reframeRight_;
  QPushButton* transpose_;
  QFrame* transposePopup_;
};

}  // namespace tg
