#include "contraptions/mixers/mixers/TGMixers.h"

#include <algorithm>
#include <cstring>

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

struct Constant {
  float g;
  float operator[](int) const { return g; }
};
struct PerSample {
  const float* __restrict g;
  float operator[](int k) const { return g[k]; }
};

// One stereo channel into the pair: left = inL × g (the first channel) or
// left += inL × g, and the same on the right. The inputs may be one block,
// but neither is an output.
template <bool kFirst, typename Gain>
void MixPair(const float* __restrict inL, const float* __restrict inR, Gain gain,
             float* __restrict left, float* __restrict right) {
  for (int k = 0; k < kBlockSize; ++k) {
    const float g = gain[k];
    if constexpr (kFirst) {
      left[k] = inL[k] * g;
      right[k] = inR[k] * g;
    } else {
      left[k] = left[k] + inL[k] * g;
      right[k] = right[k] + inR[k] * g;
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
  float* left = left_.Data();
  float* right = right_.Data();
  // The ramps of up to kWindow channels step side by side before those
  // channels mix: their sums do not wait for each other.
  constexpr int kWindow = 4;
  alignas(64) float gains[kWindow][kBlockSize];
  alignas(64) float ownLeft[kBlockSize];
  alignas(64) float ownRight[kBlockSize];
  bool first = true;
  for (int from = 0; from < channels_; from += kWindow) {
    // The connected channels of the window; only their ramps step.
    int channel[kWindow];
    QSVInterp* ramps[kWindow];
    int n = 0;
    for (int i = from; i < std::min(from + kWindow, channels_); ++i) {
      if (!IsInletConnected(2 * i) && !IsInletConnected(2 * i + 1)) continue;
      channel[n] = i;
      ramps[n] = &ramps_[static_cast<size_t>(i)];
      ++n;
    }
    bool moved[kWindow];
    QSVInterp* moving[kWindow];
    float* movingGains[kWindow];
    int m = 0;
    for (int j = 0; j < n; ++j) {
      moved[j] = !ramps[j]->Settled();
      if (moved[j]) {
        moving[m] = ramps[j];
        movingGains[m] = gains[j];
        ++m;
      }
    }
    QSVInterp::StepGains(moving, movingGains, m);
    for (int j = 0; j < n; ++j) {
      const int i = channel[j];
      const bool l = IsInletConnected(2 * i);
      const bool r = IsInletConnected(2 * i + 1);
      // A channel fed back from this mixer's own outlets reads them as they
      // were before the channel, sample by sample; a copy of them is that.
      const auto apart = [left, right](const float* in, float* copy) {
        if (in != left && in != right) return in;
        std::memcpy(copy, in, kBlockSize * sizeof(float));
        return static_cast<const float*>(copy);
      };
      const float* inL = apart(InletSignal(l ? 2 * i : 2 * i + 1).Data(), ownLeft);
      const float* inR = r ? apart(InletSignal(2 * i + 1).Data(), ownRight) : inL;
      if (!moved[j]) {
        const Constant g{static_cast<float>(ramps[j]->Value())};
        if (first) {
          MixPair<true>(inL, inR, g, left, right);
        } else {
          MixPair<false>(inL, inR, g, left, right);
        }
      } else if (first) {
        MixPair<true>(inL, inR, PerSample{gains[j]}, left, right);
      } else {
        MixPair<false>(inL, inR, PerSample{gains[j]}, left, right);
      }
      first = false;
    }
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
