#pragma once

#include <cstdint>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/EqualPowerMix.h"
#include "dsp/GainLimiter.h"
#include "dsp/QSDelayLine.h"
#include "dsp/QSVInterp.h"
#include "dsp/granular/GrainDraws.h"
#include "dsp/granular/GrainLevel.h"
#include "dsp/granular/GrainPool.h"
#include "dsp/granular/GrainVoice.h"
#include "dsp/granular/OnsetScheduler.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"
#include "properties/QSRangeProperty.h"

namespace tg {

// One grain of the delay-line granulator: where in the line it reads and how
// fast, with its envelope and pan gains.
struct TGDLGrain {
  GrainVoice<LinearRamp> voice;
  double delay = 0.0;       // seconds behind the line's write position, once sounding
  double drawnDelay = 0.0;  // seconds, as drawn: how far behind its onset it reads
  double rate = 1.0;
  double length = 0.0;   // samples
  bool reading = false;  // has read its first block
  bool spent = false;    // has read up to the end of a frozen line
};

// "DLGranulator": the mono input runs through an 11-second delay line, and a
// stream of short grains reads from it at random delays, transpositions,
// amplitudes, pan positions and envelope shapes, each drawn from a range.
// Onsets may be pulled to the tempo grid; the grains can be fed back into
// the line; "Freeze" stops writing it. One inlet, left and right outlets.
class TGDLGranulator final : public QSSignalProcessor {
 public:
  static constexpr int kVoices = 20;
  static constexpr double kLineSeconds = 11.0;
  static constexpr double kMaxFeedback = 0.9;
  static constexpr int kMaxQuantizeClocks = 96;  // the editor's longest grid, a bar

  explicit TGDLGranulator(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  static size_t BufferMemory() { return QSDelayLine::BytesFor(kLineSeconds); }

  QSDoubleProperty inputGain{1.0};
  QSRangeProperty amplitude{1.0f, 1.0f};
  QSRangeProperty panning{0.0f, 1.0f};
  QSRangeProperty delayTime{0.0f, 0.0f};
  QSDoubleProperty feedback{0.0};
  QSDoubleProperty wetDryMix{1.0};
  QSRangeProperty pitchScaler{1.0f, 1.0f};
  QSRangeProperty interonsetTime{20.0f, 25.0f};
  QSDoubleProperty quantizeAmount{0.0};
  QSIntProperty quantizeClocks{24};
  QSRangeProperty grainDuration{30.0f, 40.0f};
  QSRangeProperty attDecRatio{0.5f, 0.5f};
  QSRangeProperty grainSkew{0.5f, 0.5f};
  QSIntProperty maxGrains{kVoices};
  // Not in the table, so never stored: a document always opens unfrozen.
  QSBoolProperty freeze{false};

  int SoundingGrains() const { return pool_.Sounding(); }
  // The gain of the grain output fed back into the line.
  double FeedbackGain() const;

 private:
  void TakeChanges();
  double Normalisation() const;
  OnsetGrid Grid() const;
  // onset: samples from this block's start; pulled: how far the grid moved it.
  void StartGrain(int64_t onset, int64_t pulled, double gain);
  bool RenderGrain(TGDLGrain& g);
  double FirstDelay(const TGDLGrain& g, int from) const;
  double DelayWithinLine(double delay, double rate) const;
  void FeedTheLine(const float* in, bool freezeChanged);

  QSStaticPropertyTable table_;
  QSSignal left_;
  QSSignal right_;
  QSSignal work_;
  QSDelayLine line_{kLineSeconds};
  GrainPool<TGDLGrain, kVoices> pool_;
  GrainRangeSources draws_;
  UniformGaps gaps_{QSNoiseSource::ClockSeed()};
  OnsetScheduler scheduler_;
  GrainLevel level_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
  GainLimiter limiter_{0.95f, 1.5f, 0.05, 0.0, 0.05};
  float lowpassA_;
  float lowpassB_;
  float lowpassY_ = 0.0f;
  float highpassK_ = 0.0f;
  float highpassX_ = 0.0f;
  float highpassY_ = 0.0f;
  DcBlocker dc_;
  EqualPowerMix mix_;
  QSVInterp inputRamp_;
  QSVInterp feedbackRamp_;
  double feedbackTarget_ = -1.0;  // none yet
  bool frozen_ = false;
  bool lineStill_ = false;  // frozen this whole block: the line does not move
};

}  // namespace tg
