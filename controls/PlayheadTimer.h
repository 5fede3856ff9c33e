#pragma once

#include <QObject>
#include <vector>

class QTimer;

namespace tg {

class KWStepGrid;

// The one timer that moves every step grid's playhead, at most 30 times a
// second, and only while some grid follows a clock.
class PlayheadTimer final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kIntervalMs = 34;

  static PlayheadTimer& Instance();
  void Add(KWStepGrid* grid);
  void Remove(KWStepGrid* grid);
  // Removes a grid that goes, without making the timer (the application may be gone).
  static void Forget(KWStepGrid* grid);
  bool IsRunning() const;

 private:
  explicit PlayheadTimer(QObject* parent);
  void Tick();

  QTimer* timer_;
  std::vector<KWStepGrid*> grids_;
};

}  // namespace tg
