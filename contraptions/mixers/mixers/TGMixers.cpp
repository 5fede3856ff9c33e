#include "contraptions/mixers/mixers/TGMixers.h"

#include "dsp/Interpolation.h"

namespace tg {

namespace {

// out = in × g (first contributor) or out += in × g, stepping the ramp.
void Mix(QSVInterp& ramp, const QSSignal& in, QSSignal& out, bool first) {
  if (first) {
    ramp.ApplyGain(in.Data(), out.Data());
  } else {
    ramp.AccumulateGain(in.Data(), out.Data());
  }
}

// A channel's ramp moves to master × gain when either changed this block.
template <typename Mixer>
void SetGainTargets(Mixer& mixer, std::vector<QSVInterp>& ramps, int channels) {
  const bool master = mixer.masterGain.TakeChanged();
  for (int i = 0; i < channels; ++i) {
    if (mixer.gainProperty(i).TakeChanged() || master) {
      ramps[static_cast<size_t>(i)].Set(mixer.masterGain.Value() * mixer.gainProperty(i).Value());
    }
  }
}

}  // namespace

TGStereoMixer::TGStereoMixer(QSDynSigContext* context, int channels)
    : QSSignalProcessor(context, 2 * channels, 2),
      channels_(channels),
      ramps_(static_cast<size_t>(channels)) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

void TGStereoMixer::Process() {
  SetGainTargets(*this, ramps_, channels_);
  bool first = true;
  for (int i = 0; i < channels_; ++i) {
    const bool l = IsInletConnected(2 * i);
    const bool r = IsInletConnected(2 * i + 1);
    if (!l && !r) continue;
    QSVInterp& ramp = ramps_[static_cast<size_t>(i)];
    for (int k = 0; k < kBlockSize; ++k) {
      ramp.Step();
      const auto g = static_cast<float>(ramp.Value());
      const float inL = l ? InletSignal(2 * i)[k] : InletSignal(2 * i + 1)[k];
      const float inR = r ? InletSignal(2 * i + 1)[k] : inL;
      left_[k] = first ? inL * g : left_[k] + inL * g;
      right_[k] = first ? inR * g : right_[k] + inR * g;
    }
    first = false;
  }
  if (first) {
    left_.Fill(0.0f);
    right_.Fill(0.0f);
  }
}

TGPanPotMixer::TGPanPotMixer(QSDynSigContext* context, int channels)
    : QSSignalProcessor(context, channels, 2),
      channels_(channels),
      leftRamps_(static_cast<size_t>(channels)),
      rightRamps_(static_cast<size_t>(channels)) {
  panLaw_.FillPanLaw();
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

float TGPanPotMixer::PanLaw(double x) const {
  const double index = x * 1024.0;
  if (!(index >= 0.0)) return panLaw_[0];  // NaN too
  if (index < 1024.0) return QSInterpLookup(panLaw_.Data(), static_cast<float>(index));
  return panLaw_[1024];
}

void TGPanPotMixer::Process() {
  const bool master = masterGain.TakeChanged();
  for (int i = 0; i < channels_; ++i) {
    const bool gain = gainProperty(i).TakeChanged();
    const bool pan = panProperty(i).TakeChanged();
    if (gain || pan || master) {
      const double g = gainProperty(i).Value() * masterGain.Value();
      const double p = panProperty(i).Value();
      leftRamps_[static_cast<size_t>(i)].Set(PanLaw(p) * g);
      rightRamps_[static_cast<size_t>(i)].Set(PanLaw(1.0 - p) * g);
    }
  }
  bool first = true;
  for (int i = 0; i < channels_; ++i) {
    if (!IsInletConnected(i)) continue;
    Mix(leftRamps_[static_cast<size_t>(i)], InletSignal(i), left_, first);
    Mix(rightRamps_[static_cast<size_t>(i)], InletSignal(i), right_, first);
    first = false;
  }
  if (first) {
    left_.Fill(0.0f);
    right_.Fill(0.0f);
  }
}

TGMonoMixer::TGMonoMixer(QSDynSigContext* context, int channels)
    : QSSignalProcessor(context, channels, 1),
      channels_(channels),
      ramps_(static_cast<size_t>(channels)) {
  SetOutletSignal(0, &out_);
}

void TGMonoMixer::Process() {
  SetGainTargets(*this, ramps_, channels_);
  bool first = true;
  for (int i = 0; i < channels_; ++i) {
    if (!IsInletConnected(i)) continue;
    Mix(ramps_[static_cast<size_t>(i)], InletSignal(i), out_, first);
    first = false;
  }
  if (first) out_.Fill(0.0f);
}

}  // namespace tg
