#pragma once

#include <array>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/QSComb.h"
#include "dsp/QSVInterp.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "5Combs": five tuned feedback combs in parallel, a resonator that makes
// its input ring at five pitches. Each comb has a frequency (its loop is one
// period), a time to ring down by 60 dB and an output gain; one input gain
// feeds them all. Mono.
class TG5Combs final : public QSSignalProcessor {
 public:
  static constexpr int kCombs = 5;
  static constexpr double kMinFrequency = 16.0;
  static constexpr double kMaxFrequency = 2000.0;
  static constexpr double kMinReverbTime = 0.02;
  static constexpr double kMaxReverbTime = 10.0;
  static constexpr double kMaxGain = 1.5;

  explicit TG5Combs(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  static size_t BufferMemory() { return kCombs * QSCombFilter::BytesFor(kCombSeconds); }

  QSDoubleProperty inputGain{0.0};
  std::array<QSDoubleProperty, kCombs> frequency{QSDoubleProperty{110.0}, QSDoubleProperty{220.0},
                                                 QSDoubleProperty{440.0}, QSDoubleProperty{880.0},
                                                 QSDoubleProperty{1760.0}};
  std::array<QSDoubleProperty, kCombs> reverbTime{QSDoubleProperty{1.0}, QSDoubleProperty{2.0},
                                                  QSDoubleProperty{3.0}, QSDoubleProperty{4.0},
                                                  QSDoubleProperty{5.0}};
  std::array<QSDoubleProperty, kCombs> gain{QSDoubleProperty{1.0}, QSDoubleProperty{0.5},
                                            QSDoubleProperty{0.25}, QSDoubleProperty{0.125},
                                            QSDoubleProperty{0.0625}};

  // Comb i's loop gain and delay in samples as the next block starts from.
  double LoopGain(int i) const { return combs_[static_cast<size_t>(i)].feedback.Value(); }
  double LoopDelay(int i) const { return combs_[static_cast<size_t>(i)].delay.Value(); }

 private:
  // 16 Hz needs 2756 samples; the ring holds 2816.
  static constexpr double kCombSeconds = 0.06;

  QSStaticPropertyTable table_;
  QSSignal combIn_, work_, out_;
  std::array<QSComb, kCombs> combs_{QSComb{kCombSeconds}, QSComb{kCombSeconds},
                                    QSComb{kCombSeconds}, QSComb{kCombSeconds},
                                    QSComb{kCombSeconds}};
  QSVInterp inputRamp_;
  std::array<QSVInterp, kCombs> gainRamps_;
  DcBlocker dc_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
};

}  // namespace tg
