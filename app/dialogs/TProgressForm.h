#pragma once

#include <QDialog>

#include "engine/WaveExport.h"

class QLabel;
class QPushButton;

namespace tg {

// A long job's window: two lines of text, a bar of blocks, and Cancel.
// Closing the window cancels too, and leaves it open until the job ends.
class TProgressForm final : public QDialog, public WaveExportProgress {
  Q_OBJECT

 public:
  explicit TProgressForm(QWidget* parent = nullptr);

  void Stage(const std::string& firstLine, const std::string& secondLine) override;
  void Progress(double fraction) override;
  // Keeps the window live: pending events run here.
  bool Cancelled() override;

  double Fraction() const { return fraction_; }
  QString FirstLine() const;
  QString SecondLine() const;
  void Cancel() { cancelled_ = true; }
  // Blocks of the bar that are lit: as many as width / 8 × progress.
  int LitBlocks() const;
  // The looping animation runs until the work is done.
  bool Animating() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override { Cancel(); }

 private:
  class Bar;
  class Spinner;
  QLabel* first_;
  QLabel* second_;
  Bar* bar_;
  Spinner* spinner_;
  QPushButton* cancel_;
  double fraction_ = 0.0;
  bool cancelled_ = false;
};

}  // namespace tg
