#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "contraptions/generators/bassline/BasslinePattern.h"
#include "dsp/DenormalNoise.h"
#include "dsp/GainSmoother.h"
#include "dsp/QSOscillator.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QS8CharsProperty.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"

namespace tg {

// "Bassline": a monophonic bass voice (wavetable oscillator, resonant
// two-pole low-pass with a decaying envelope, amplitude envelope, LFO on the
// envelope depth, waveshaper) played by its own sixteen-step sequencer on the
// tempo clock. Its optional inlet replaces the oscillator; one outlet.
class TGBassline final : public QSSignalProcessor {
 public:
  static constexpr int kSteps = BasslinePattern::kSteps;
  static constexpr int kTicksPerStep = 6;
  static constexpr int kTicksPerBar = kSteps * kTicksPerStep;
  static constexpr int kAttackSamples = 30;
  static constexpr int kReleaseSamples = 700;
  // Both envelopes last this many render calls: the blocks in 4.2 seconds.
  static constexpr int32_t kEnvelopeLength = static_cast<int32_t>(kSampleRate / kBlockSize * 4.2);

  // UI thread.
  explicit TGBassline(QSDynSigContext* context);

  // UI thread, audio stopped: silences the voice (no note sounding).
  void Reset() override;
  // Audio thread.
  void Process() override;
  // UI thread.
  QSPropertyTable* GetPropertyTable() override;

  // Any thread: the pattern as "Gates", "Accents", "Ties", "Notes_0" and
  // "Notes_1" hold it now.
  BasslinePattern Pattern() const;

  // Any thread (a MIDI note, on the audio thread): the notes the pattern
  // starts from now on sound this many semitones away, until the next change.
  // A live state of the performance, not a parameter: documents and presets
  // leave it alone.
  void SetTransposition(int semitones) {
    transposition_.store(semitones, std::memory_order_relaxed);
  }
  int Transposition() const { return transposition_.load(std::memory_order_relaxed); }

  QSDoubleProperty volume{0.0};
  QSBoolProperty mute{false};  // no new notes; taken at step 0
  QSIntProperty waveform{0};   // 0 saw-like, anything else square
  QSDoubleProperty cutoffFreq{0.5};
  QSDoubleProperty resonance{0.0};
  QSDoubleProperty envMod{0.5};
  QSDoubleProperty decay{0.5};
  QSDoubleProperty accent{0.0};
  QSDoubleProperty overdrive{0.0};
  QSDoubleProperty lfoRate{0.1};
  QSDoubleProperty lfoDepth{0.0};
  QSIntProperty gates{0xFFFF};  // bit k: step k plays
  QSIntProperty accents{0};     // bit k: step k is accented
  QSIntProperty ties{0};        // bit k: step k slides into the next
  QS8CharsProperty notes0{EightChars{36, 36, 36, 36, 36, 36, 36, 36}};  // steps 0 … 7
  QS8CharsProperty notes1{EightChars{36, 36, 36, 36, 36, 36, 36, 36}};  // steps 8 … 15

 private:
  // A decay from start to end over length render calls, exponential in v.
  struct Envelope {
    float start = 0.0f;
    float end = 0.0f;
    float scale = 0.0f;
    float base = 0.0f;
    float v = 1.0f;
    float coefficient = 1.0f;
    int32_t length = kEnvelopeLength;
    int32_t counter = kEnvelopeLength;

    void Restart() {
      v = 1.0f;
      counter = 0;
    }
    // The value for one render call, then one step on.
    float Next() {
      if (counter >= length) return end;
      ++counter;
      const float value = (1.0f - v) * scale + start;
      v *= coefficient;
      return value;
    }
  };

  // Audio thread: the sounding note fades out over the release.
  void Release();
  void HandleTick(int tickInBar, bool clockRunning);
  void Render(int from, int to);
  int NoteOfStep(int step) const;

  QSStaticPropertyTable table_;
  QSSignal out_;

  QSOscillator osc_;
  QSOscillator lfo_;
  double currentFrequency_ = 100.0;
  double targetFrequency_ = 100.0;

  double f_ = 0.0;  // filter coefficient
  double q_ = 1.0;  // damping
  double band_ = 0.0;
  double low_ = 0.0;

  Envelope filterEnv_;
  Envelope ampEnv_;

  int32_t rampCount_ = 0;
  double rampLevel_ = 0.0;
  double rampIncrement_ = -1.0;  // above 0 while a note sounds

  double accentLevel_ = 0.0;
  bool muted_ = false;
  double glide_;

  // This block's settings, for every render call in it.
  bool useInlet_ = false;
  double baseCutoff_ = 0.0;
  double peakCutoff_ = 0.0;
  double overdrive_ = 0.0;

  DenormalNoise noise_ = DenormalNoise::FromClock();
  GainSmoother smoother_;
  GainSmoother secondSmoother_;
  std::atomic<int> transposition_{0};
};

}  // namespace tg
