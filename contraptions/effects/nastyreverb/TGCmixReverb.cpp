#include "contraptions/effects/nastyreverb/TGCmixReverb.h"

#include <algorithm>

#include "dsp/NonFinite.h"

namespace tg {

TGCmixReverb::TGCmixReverb(QSDynSigContext* context) : QSSignalProcessor(context, 1, 2) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

QSPropertyTable* TGCmixReverb::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(reverbTime, "ReverbTime", QSTimeSecondsUnits::Get(), kMinReverbTime, kMaxReverbTime);
    add(wetDryMix, "WetDryMix", QSFractionUnits::Get(), 0.0, 1.0);
  });
}

void TGCmixReverb::Reset() { reverb_.Clear(); }

void TGCmixReverb::Process() {
  if (reverbTime.TakeChanged()) {
    // A document may hold any number: below zero the comb gains would pass
    // one and the tail grow for ever; far above ten seconds they come so
    // close to one that it would never end.
    reverb_.SetReverbTime(std::clamp(reverbTime.Value(), kMinReverbTime, kMaxReverbTime));
  }
  const QSSignal& x = InletSignal(0);
  noise_.Fill(left_.Data());
  left_ += x;
  // The combs would circulate a NaN or an infinity for ever.
  SilenceNonFinite(left_.Data(), kBlockSize);
  reverb_.Process(left_.Data(), left_.Data(), right_.Data());
  mix_.NextBlock();
  if (wetDryMix.TakeChanged()) mix_.Recompute(wetDryMix.Value());
  mix_.Apply(x.Data(), left_.Data());
  mix_.Apply(x.Data(), right_.Data());
}

}  // namespace tg
