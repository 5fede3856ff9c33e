#include "controls/PlayheadTimer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>

#include "controls/KWStepGrid.h"

namespace tg {

namespace {
// Owned by the application, so it goes before the event loop does.
QPointer<PlayheadTimer> thePlayheadTimer;
}  // namespace

PlayheadTimer& PlayheadTimer::Instance() {
  if (!thePlayheadTimer) thePlayheadTimer = new PlayheadTimer(QCoreApplication::instance());
  return *thePlayheadTimer;
}

void PlayheadTimer::Forget(KWStepGrid* grid) {
  if (thePlayheadTimer) thePlayheadTimer->Remove(grid);
}

PlayheadTimer::PlayheadTimer(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  timer_->setInterval(kIntervalMs);
  connect(timer_, &QTimer::timeout, this, &PlayheadTimer::Tick);
}

void PlayheadTimer::Add(KWStepGrid* grid) {
  if (std::find(grids_.begin(), grids_.end(), grid) == grids_.end()) grids_.push_back(grid);
  if (!timer_->isActive()) timer_->start();
}

void PlayheadTimer::Remove(KWStepGrid* grid) {
  grids_.erase(std::remove(grids_.begin(), grids_.end(), grid), grids_.end());
  if (grids_.empty()) timer_->stop();
}

bool PlayheadTimer::IsRunning() const { return timer_->isActive(); }

void PlayheadTimer::Tick() {
  for (KWStepGrid* grid : grids_)
    if (grid->isVisible()) grid->RefreshPlayhead();
}

}  // namespace tg
