#pragma once

#include "framework/QSSignalProcessor.h"
#include "framework/properties/QSCStringProperty.h"
#include "framework/properties/QSIntProperty.h"

namespace tg {

// The end of the graph: the engine sends its two inputs to the sound card
// after every pass. The engine owns the one instance for its whole life, so
// it is always a terminal pipe on the update list.
class TGSoundOut final : public QSSignalProcessor {
 public:
  enum State { kNoFile = -1, kStopped = 0, kRecording = 1, kRecordPaused = 2, kPlaying = 3 };

  explicit TGSoundOut(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // Audio thread: what goes to the sound card this block.
  const QSSignal& OutputLeft() const { return *left_; }
  const QSSignal& OutputRight() const { return *right_; }
  int GetState() const { return state_; }

  QSCStringProperty outputFile;
  QSIntProperty action{0};
  QSIntProperty fileMode{0};
  QSIntProperty punchMode{0};
  QSIntProperty recordDuration{300};

 private:
  QSStaticPropertyTable table_;
  const QSSignal* left_ = &QSSignal::Silent();
  const QSSignal* right_ = &QSSignal::Silent();
  int state_ = kNoFile;
};

}  // namespace tg
