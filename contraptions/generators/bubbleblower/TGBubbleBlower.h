#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dsp/granular/GrainDraws.h"
#include "dsp/granular/GrainLevel.h"
#include "dsp/granular/GrainPool.h"
#include "dsp/granular/GrainVoice.h"
#include "dsp/granular/OnsetScheduler.h"
#include "dsp/granular/SampleGrainSource.h"
#include "files/loading/SoundSlot.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"
#include "properties/QSRangeProperty.h"

namespace tg {

// One grain of the sound-file granulator: its envelope and pan gains, and
// where in the file it reads and how fast.
struct TGBubbleGrain {
  GrainVoice<RaisedCosineRamp> voice;
  SampleGrainSource source;
};

// "BubbleBlower": one sound file, scattered as short grains taken from random
// places in it, at random transpositions, amplitudes, pan positions and
// envelope shapes, each drawn from a range. Onsets form a random stream of a
// mean density and may be pulled to the tempo grid. No inlets, left and
// right outlets.
class TGBubbleBlower final : public QSSignalProcessor {
 public:
  static constexpr int kVoices = 20;
  static constexpr int32_t kMaxFrames = 600 * 44100;  // ten minutes at the program's rate
  static constexpr int kMaxQuantizeClocks = 96;       // the editor's longest grid, a bar

  // UI thread. The loader reads the file (tests pass their own).
  explicit TGBubbleBlower(QSDynSigContext* context, SoundLoader& loader = SoundLoader::Instance());

  // Audio thread.
  void Process() override;
  // Audio thread: every grain stops; the next starts with the next block.
  void Reset() override;
  // UI thread.
  QSPropertyTable* GetPropertyTable() override;

  // The sound data an instance a document describes would hold: the file
  // its values name, found from the document's directory.
  static uint64_t SoundMemoryFor(std::string_view values, std::string_view documentDirectory) {
    return SoundData::BytesForFirstValue(values, documentDirectory, kMaxFrames);
  }
  // UI thread, after a document is read: a file longer than ten minutes.
  std::string ReadProblem() const override;

  QSCStringProperty file{QSCStringProperty::SoundFileName{}};  // "File"
  QSRangeProperty amplitude{1.0f, 1.0f};
  QSRangeProperty panning{0.0f, 1.0f};
  QSRangeProperty inskip{0.0f, 0.0f};  // milliseconds into the file
  QSRangeProperty pitchScaler{1.0f, 1.0f};
  QSDoubleProperty density{10.0};  // mean grains a second
  QSDoubleProperty quantizeAmount{0.0};
  QSIntProperty quantizeClocks{24};
  QSRangeProperty grainDuration{30.0f, 40.0f};
  QSRangeProperty attDecRatio{0.5f, 0.5f};
  QSRangeProperty grainSkew{0.5f, 0.5f};
  QSIntProperty maxGrains{kVoices};

  // UI thread: the newest load could not read its file (the grains are silent).
  bool LoadFailed() const { return sound_.LastLoadFailed(); }
  // UI thread: the newest load kept only the first ten minutes of its file.
  bool LoadCut() const { return sound_.LastLoadCut(); }
  // UI thread: a load asked for has not finished.
  bool Loading() const { return sound_.IsLoading(); }
  // Between blocks.
  int SoundingGrains() const { return pool_.Sounding(); }

 private:
  bool TakeSound();
  void TakeChanges();
  double Normalisation() const;
  OnsetGrid Grid() const;
  // onset: samples from this block's start; pulled: how far the grid moved it.
  void StartGrain(int64_t onset, int64_t pulled, double gain);
  bool RenderGrain(TGBubbleGrain& g);

  QSStaticPropertyTable table_;
  SoundSlot sound_;
  const SoundData* playing_ = nullptr;  // what the grains read
  QSSignal left_;
  QSSignal right_;
  GrainReadBuffers read_;
  GrainPool<TGBubbleGrain, kVoices> pool_;
  GrainRangeSources draws_;
  ExponentialGaps gaps_{QSNoiseSource::ClockSeed()};
  OnsetScheduler scheduler_;
  GrainLevel level_;
};

}  // namespace tg
