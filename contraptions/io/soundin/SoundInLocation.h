#pragma once

#include <atomic>
#include <istream>

#include "properties/QSDoubleProperty.h"

namespace tg {

// SoundIn's "Location": where the reader stands, in milliseconds, which the
// reader publishes every block and the user may move. The reader's publishing
// can overwrite a value the user stored a moment before; so every move by
// the user also keeps its target apart, where only the user writes, and the
// raised changed flag says that a move is due.
class SoundInLocation final : public QSDoubleProperty {
 public:
  SoundInLocation() : QSDoubleProperty(0.0) {}

  // UI thread: a move by the user (the track bar, an undo).
  void SetValue(double ms) {
    target_.store(ms, std::memory_order_relaxed);
    QSDoubleProperty::SetValue(ms);  // its changed flag publishes the target
  }
  // Reader's side, after taking the changed flag: where the user moved to.
  double SeekTarget() const { return target_.load(std::memory_order_relaxed); }

  void ReadFrom(std::istream& in) override {
    QSDoubleProperty read(Value());
    read.ReadFrom(in);
    SetValue(read.Value());
  }
  void AssignFrom(const QSProperty& other) override {
    if (const auto* same = dynamic_cast<const QSDoubleProperty*>(&other)) SetValue(same->Value());
  }
  bool SetNumericValue(double ms) override {
    SetValue(ms);
    return true;
  }

 private:
  std::atomic<double> target_{0.0};
};

}  // namespace tg
