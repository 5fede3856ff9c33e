#pragma once

#include <cstdint>
#include <vector>

#include "graph/QSSignal.h"

namespace tg {

class QSDynSigContext;

// A node of the signal graph with a fixed number of inlets and outlets.
// Structure changes (context, connections) happen on the user-interface
// thread under the engine lock; Process runs on the audio thread.
class QSDynSigPipe {
 public:
  struct Inlet {
    QSDynSigPipe* source = nullptr;
    int32_t sourceOutlet = -1;
    const QSSignal* signal = &QSSignal::Silent();
  };
  struct InletRef {
    QSDynSigPipe* pipe;
    int32_t inlet;
  };
  struct Outlet {
    std::vector<InletRef> references;
    QSSignal* signal = QSSignal::Unassigned();
  };

  // UI thread.
  QSDynSigPipe(QSDynSigContext* context, int inletCount, int outletCount);
  // UI thread, under the engine lock when the pipe is in a running graph.
  virtual ~QSDynSigPipe();
  QSDynSigPipe(const QSDynSigPipe&) = delete;
  QSDynSigPipe& operator=(const QSDynSigPipe&) = delete;

  // UI thread: returns to the initial running state; applies changes that must
  // not be made on the audio thread. Of a pipe that shares no engine state,
  // also the audio thread's between two passes (a panic): such a reset only
  // clears and restarts, never allocates, locks or waits.
  virtual void Reset() {}
  // Audio thread: computes one block from the inlets into the outlets.
  virtual void Process() = 0;
  // UI thread: inlet i was connected, disconnected or its signal replaced.
  virtual void InletChanged(int /*inlet*/) {}
  // Whether Process touches state beyond the pipe's own and its signals (the
  // engine's devices, files, another pipe): such pipes run in list order
  // among themselves when a pass is shared between threads.
  virtual bool SharesEngineState() const { return false; }
  // Whether Process depends on nothing but the pipe's own state and
  // parameters (no inlets, no clock, no files, no engine state): then its next
  // block may be made while the engine finishes the current one.
  virtual bool MayRunAhead() const { return false; }

  // UI thread (constructors): names the signal this pipe writes for an outlet.
  void SetOutletSignal(int outlet, QSSignal* signal);
  // UI thread, under the engine lock.
  void SetContext(QSDynSigContext* context);
  QSDynSigContext* Context() const { return context_; }

  int InletCount() const { return static_cast<int>(inlets_.size()); }
  int OutletCount() const { return static_cast<int>(outlets_.size()); }
  const Inlet& InletAt(int i) const { return inlets_[static_cast<std::size_t>(i)]; }
  const Outlet& OutletAt(int o) const { return outlets_[static_cast<std::size_t>(o)]; }
  // Audio thread: the signal an inlet reads (the silent signal when unconnected).
  const QSSignal& InletSignal(int i) const { return *inlets_[static_cast<std::size_t>(i)].signal; }
  bool IsInletConnected(int i) const { return InletAt(i).signal != &QSSignal::Silent(); }
  // Whether the pipe is on its context's update list.
  bool IsScheduled() const;

 private:
  friend class QSDynSigContext;
  friend class GraphSchedule;

  QSDynSigContext* context_ = nullptr;
  int32_t scheduleMark_ = 0;
  int32_t listIndex_ = -1;  // place on the update list when the schedule was built
  bool visiting_ = false;
  int32_t planMark_ = 0;  // the user-interface thread's, while it plans a new list
  std::vector<Inlet> inlets_;
  std::vector<Outlet> outlets_;
};

}  // namespace tg
