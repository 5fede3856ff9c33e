#pragma once

#include <array>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/QSBiquad.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// One peaking band's three parameters.
struct ParametricBand {
  QSDoubleProperty centre;
  QSDoubleProperty bandwidth{20.0};
  QSDoubleProperty gain{0.0};
};

// The four-band equaliser both "MParaEQ" and "SParaEQ" are: a high shelf, a
// low shelf and two peaking bands, after a DC blocker. The two bands register
// the same names; documents tell them apart by their order.
class TGParametric : public QSSignalProcessor {
 public:
  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  QSDoubleProperty hsCutoff{10000.0};
  QSDoubleProperty hsGain{0.0};
  std::array<ParametricBand, QSFourBandEq::kBands> bands{
      ParametricBand{.centre = QSDoubleProperty{1000.0}},
      ParametricBand{.centre = QSDoubleProperty{500.0}}};
  QSDoubleProperty lsCutoff{100.0};
  QSDoubleProperty lsGain{0.0};

 protected:
  TGParametric(QSDynSigContext* context, int channels);

 private:
  // Every setting in the order the sections take them: the high shelf's
  // corner and gain, each band's centre, width and gain, the low shelf's.
  static constexpr int kSettings = 4 + 3 * QSFourBandEq::kBands;
  // A new setting glides there through a block, designed this many times.
  static constexpr int kGlideSteps = 16;
  using Settings = std::array<double, kSettings>;

  // Audio thread: takes the changed flags; true when a setting moved.
  bool TakeTargets();
  // Audio thread: the sections for the settings as they are now.
  void Design();

  static constexpr int kMaxChannels = 2;
  QSStaticPropertyTable table_;
  int channels_;
  QSSignal out_[kMaxChannels];
  DcBlocker dc_[kMaxChannels];
  QSFourBandEq::Channel eq_[kMaxChannels];
  QSFourBandEq coefficients_;
  Settings now_{};
  Settings target_{};
  int glideLeft_ = 0;  // steps
  bool designed_ = false;
  DenormalNoise noise_ = DenormalNoise::FromClock();
};

// "MParaEQ": one inlet, one outlet.
class TGMonoParametric final : public TGParametric {
 public:
  explicit TGMonoParametric(QSDynSigContext* context) : TGParametric(context, 1) {}
};

// "SParaEQ": left and right through the same settings.
class TGStereoParametric final : public TGParametric {
 public:
  explicit TGStereoParametric(QSDynSigContext* context) : TGParametric(context, 2) {}
};

}  // namespace tg
