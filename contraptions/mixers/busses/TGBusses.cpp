#include "contraptions/mixers/busses/TGBusses.h"

namespace tg {

TGMonoBuss::TGMonoBuss(QSDynSigContext* context, int inlets)
    : QSSignalProcessor(context, inlets, 1) {
  SetOutletSignal(0, &out_);
}

void TGMonoBuss::Process() {
  bool first = true;
  for (int i = 0; i < InletCount(); ++i) {
    if (!IsInletConnected(i)) continue;
    if (first) {
      out_.CopyFrom(InletSignal(i));
    } else {
      out_ += InletSignal(i);
    }
    first = false;
  }
  if (first) out_.Fill(0.0f);
}

TGStereoBuss::TGStereoBuss(QSDynSigContext* context, int pairs)
    : QSSignalProcessor(context, 2 * pairs, 2) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

void TGStereoBuss::Process() {
  bool first = true;
  for (int k = 0; k < InletCount() / 2; ++k) {
    const bool l = IsInletConnected(2 * k);
    const bool r = IsInletConnected(2 * k + 1);
    if (!l && !r) continue;
    const QSSignal& inL = InletSignal(l ? 2 * k : 2 * k + 1);
    const QSSignal& inR = InletSignal(r ? 2 * k + 1 : 2 * k);
    if (first) {
      left_.CopyFrom(inL);
      right_.CopyFrom(inR);
    } else {
      left_ += inL;
      right_ += inR;
    }
    first = false;
  }
  if (first) {
    left_.Fill(0.0f);
    right_.Fill(0.0f);
  }
}

}  // namespace tg
