#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "dsp/QSFunctionTable.h"
#include "dsp/QSVInterp.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// The stereo mixers: N stereo channels (inlets 2i, 2i + 1) into one pair.
class TGStereoMixer : public QSSignalProcessor {
 public:
  void Process() override;
  virtual QSDoubleProperty& gainProperty(int channel) = 0;
  QSDoubleProperty masterGain{0.0};

 protected:
  TGStereoMixer(QSDynSigContext* context, int channels);

 private:
  int channels_;
  std::vector<QSVInterp> ramps_;
  QSSignal left_, right_;
};

// The pan-pot mixers: N mono channels, each with a gain and a pan position.
class TGPanPotMixer : public QSSignalProcessor {
 public:
  void Process() override;
  virtual QSDoubleProperty& gainProperty(int channel) = 0;
  virtual QSDoubleProperty& panProperty(int channel) = 0;
  QSDoubleProperty masterGain{0.0};
  // The pan law at x in 0 … 1: 1 at the centre and at the near edge, 0 at the far edge.
  float PanLaw(double x) const;

 protected:
  TGPanPotMixer(QSDynSigContext* context, int channels);

 private:
  int channels_;
  std::vector<QSVInterp> leftRamps_, rightRamps_;
  QSFunctionTable panLaw_{1024};
  QSSignal left_, right_;
};

// The mono mixers: N mono channels into one outlet.
class TGMonoMixer : public QSSignalProcessor {
 public:
  void Process() override;
  virtual QSDoubleProperty& gainProperty(int channel) = 0;
  QSDoubleProperty masterGain{0.0};

 protected:
  TGMonoMixer(QSDynSigContext* context, int channels);

 private:
  int channels_;
  std::vector<QSVInterp> ramps_;
  QSSignal out_;
};

namespace mixers {
// "Gain_3" and the like.
inline std::string Indexed(const char* pattern, int i) {
  char name[32];
  std::snprintf(name, sizeof name, pattern, i);
  return name;
}
}  // namespace mixers

// Each size is a class of its own, with its own property table: a master
// gain and one gain per channel (the stereo and mono families alike).
template <typename Family, int N>
class TGGainMixer final : public Family {
 public:
  explicit TGGainMixer(QSDynSigContext* context) : Family(context, N) {}
  QSDoubleProperty& gainProperty(int channel) override {
    return gains_[static_cast<size_t>(channel)];
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) {
      add(this->masterGain, "MasterGain", QSGainUnits::Get(), 0.0, 1.0);
      for (int i = 0; i < N; ++i) {
        add(gainProperty(i), mixers::Indexed("Gain_%d", i), QSGainUnits::Get(), 0.0, 1.0);
      }
    });
  }

 private:
  std::array<QSDoubleProperty, N> gains_;
  QSStaticPropertyTable table_;
};

template <int N>
using TGSMixer = TGGainMixer<TGStereoMixer, N>;
template <int N>
using TGMMixer = TGGainMixer<TGMonoMixer, N>;

template <int N>
class TGPMixer final : public TGPanPotMixer {
 public:
  explicit TGPMixer(QSDynSigContext* context) : TGPanPotMixer(context, N) {
    for (auto& pan : pans_) pan.SetValue(0.5);
  }
  QSDoubleProperty& gainProperty(int channel) override {
    return gains_[static_cast<size_t>(channel)];
  }
  QSDoubleProperty& panProperty(int channel) override {
    return pans_[static_cast<size_t>(channel)];
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) {
      add(masterGain, "MasterGain", QSGainUnits::Get(), 0.0, 1.0);
      for (int i = 0; i < N; ++i) {
        add(gainProperty(i), mixers::Indexed("Gain_%d", i), QSGainUnits::Get(), 0.0, 1.0);
        add(panProperty(i), mixers::Indexed("Pan_%d", i), QSPanningUnits::Get(), 0.0, 1.0);
      }
    });
  }

 private:
  std::array<QSDoubleProperty, N> gains_;
  std::array<QSDoubleProperty, N> pans_;
  QSStaticPropertyTable table_;
};

using TGS2Mixer = TGSMixer<2>;
using TGS3Mixer = TGSMixer<3>;
using TGS4Mixer = TGSMixer<4>;
using TGS6Mixer = TGSMixer<6>;
using TGS8Mixer = TGSMixer<8>;
using TGS12Mixer = TGSMixer<12>;
using TGP2Mixer = TGPMixer<2>;
using TGP3Mixer = TGPMixer<3>;
using TGP4Mixer = TGPMixer<4>;
using TGP6Mixer = TGPMixer<6>;
using TGP8Mixer = TGPMixer<8>;
using TGP12Mixer = TGPMixer<12>;
using TGM2Mixer = TGMMixer<2>;
using TGM3Mixer = TGMMixer<3>;
using TGM4Mixer = TGMMixer<4>;
using TGM6Mixer = TGMMixer<6>;
using TGM8Mixer = TGMMixer<8>;
using TGM12Mixer = TGMMixer<12>;

}  // namespace tg
