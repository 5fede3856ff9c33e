#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>

#include "engine/WaveExport.h"

class QLabel;
class QRadioButton;

namespace tg {

class KWNumberEdit;
class TAudioEngineModule;
class UserMessages;

// "Export as Wave File...": what to render (a clock pattern in bars, the
// processed SoundIn file or a timed segment in seconds), then the file.
class TExportAsWaveForm final : public QDialog {
  Q_OBJECT

 public:
  TExportAsWaveForm(TAudioEngineModule& engine, UserMessages& messages, QWidget* parent = nullptr);

  // Enables the SoundIn mode when SoundIn plays a good file; units follow the mode.
  void Prepare();
  void ChooseMode(WaveExportRequest::Mode mode);
  WaveExportRequest::Mode Mode() const;
  bool HoldsBars() const { return bars_; }
  KWNumberEdit* PreRollEdit() const { return preRoll_; }
  KWNumberEdit* RecordEdit() const { return record_; }
  QLabel* UnitsLabel() const { return units_[0]; }
  QLabel* SoundInLabel() const { return soundInLabel_; }
  QRadioButton* ModeButton(WaveExportRequest::Mode mode) const;

  // What the dialog's fields ask for (no file yet).
  WaveExportRequest Request() const;
  // The document's title, which the proposed file name takes.
  void SetDocumentTitle(const QString& title) { documentTitle_ = title; }
  // The files the export must not replace (the document, the sounds it plays).
  void SetFilesInUse(std::vector<FileInUse> files) { filesInUse_ = std::move(files); }
  // Where the save dialog starts: the document's title with ".wav" in the
  // last output directory.
  std::string SaveProposal() const;
  // What a finished export tells the status bar ("Exported 8 bars to
  // song.wav (16.0 s)"); empty until one is written.
  const QString& ExportedText() const { return exportedText_; }
  static QString ExportedText(const WaveExportRequest& request, int64_t frames);
  // The SoundIn file's length as the label shows it.
  static QString SoundInDurationText(double milliseconds);
  // Renders into a chosen file with a progress window, telling the user what
  // went wrong.
  WaveExportResult ExportTo(const QString& fileName);

 private:
  void ExportClicked();
  void SetUnits(bool bars);
  // Record as long as SoundIn's file lasts, as the SoundIn mode proposes.
  void ProposeSoundInLength();
  double SamplesPerClock() const;

  TAudioEngineModule& engine_;
  UserMessages& messages_;
  QRadioButton* pattern_;
  QRadioButton* soundIn_;
  QRadioButton* timed_;
  KWNumberEdit* preRoll_;
  KWNumberEdit* record_;
  QLabel* units_[2];
  QLabel* soundInLabel_;
  bool bars_ = true;
  double soundInSeconds_ = -1.0;  // the record length proposed for the SoundIn mode
  QString documentTitle_ = "Untitled";
  std::vector<FileInUse> filesInUse_;
  QString exportedText_;
};

}  // namespace tg
