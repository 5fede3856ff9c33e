#include "graph/QSDynSigPipe.h"

#include "graph/QSDynSigContext.h"

namespace tg {

QSDynSigPipe::QSDynSigPipe(QSDynSigContext* context, int inletCount, int outletCount)
    : inlets_(static_cast<size_t>(inletCount)), outlets_(static_cast<size_t>(outletCount)) {
  if (context != nullptr) {
    context_ = context;
    context->AddPipe(this);
  }
}

QSDynSigPipe::~QSDynSigPipe() {
  if (context_ == nullptr) return;
  for (int i = 0; i < InletCount(); ++i) {
    const Inlet& in = inlets_[static_cast<size_t>(i)];
    if (in.source != nullptr) context_->Disconnect(in.source, in.sourceOutlet, this, i);
  }
  for (int o = 0; o < OutletCount(); ++o) {
    auto& refs = outlets_[static_cast<size_t>(o)].references;
    while (!refs.empty()) {
      const InletRef last = refs.back();
      if (!context_->Disconnect(this, o, last.pipe, last.inlet)) refs.pop_back();
    }
  }
  context_->RemovePipe(this);
}

void QSDynSigPipe::SetOutletSignal(int outlet, QSSignal* signal) {
  Outlet& out = outlets_[static_cast<size_t>(outlet)];
  out.signal = signal;
  for (const InletRef& ref : out.references) {
    ref.pipe->inlets_[static_cast<size_t>(ref.inlet)].signal = signal;
    ref.pipe->InletChanged(ref.inlet);
  }
}

void QSDynSigPipe::SetContext(QSDynSigContext* context) {
  if (context == context_) return;
  if (context_ != nullptr) context_->RemovePipe(this);
  context_ = context;
  if (context_ != nullptr) context_->AddPipe(this);
}

bool QSDynSigPipe::IsScheduled() const {
  return context_ != nullptr && scheduleMark_ == context_->Generation();
}

}  // namespace tg
