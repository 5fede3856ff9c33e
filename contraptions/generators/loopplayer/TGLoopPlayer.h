#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/loading/SoundSlot.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSIntProperty.h"

namespace tg {

// "LoopPlayer": one sound file played as a loop of whole bars that follows
// the tempo clock, stretched to the loop's length or at its own speed; no
// inlets, a left and a right outlet.
class TGLoopPlayer final : public QSSignalProcessor {
 public:
  // Ten minutes at the program's rate.
  static constexpr int32_t kMaxFrames = 600 * 44100;
  static constexpr int kTicksPerBar = 96;
  static constexpr int kTicksPerStep = 6;
  static constexpr int kMaxBars = 32;
  static constexpr int kMaxPhase = 512;
  // A mute or a stopping clock fades out over this many samples (3 ms), and
  // the loop fades in again unless it starts from its beginning.
  static constexpr int kFadeSamples = 132;

  // UI thread. The loader reads the file (tests pass their own).
  explicit TGLoopPlayer(QSDynSigContext* context, SoundLoader& loader = SoundLoader::Instance());

  // Audio thread.
  void Process() override;
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
  QSIntProperty barCount{1};                                   // "BarCount"
  QSBoolProperty stretch{true};                                // "Stretch"
  QSIntProperty phase{0};                                      // "Phase", in sixteenth-note steps
  QSBoolProperty mute{false};                                  // "Mute", taken at the next bar line

  // UI thread: the newest load could not read its file (the loop before it
  // keeps playing).
  bool LoadFailed() const { return sound_.LastLoadFailed(); }
  // UI thread: the newest load kept only the first ten minutes of its file.
  bool LoadCut() const { return sound_.LastLoadCut(); }
  // UI thread: a load asked for has not finished.
  bool Loading() const { return sound_.IsLoading(); }
  // Between blocks: whether the loop sounds, as latched at the last bar line.
  bool Playing() const { return playing_; }

 private:
  // Writes samples [from, to) of the loop, whose position at sample 0 of the
  // block is start samples into it.
  void Render(const SoundData& sound, double start, double loopLength, int from, int to);
  // Scales the block by the fade, which moves towards sounding where the
  // loop should be heard: before switchAt as `before` says, from it on as
  // `after` does.
  void Fade(double start, double loopLength, bool before, bool after, int switchAt);

  QSStaticPropertyTable table_;
  SoundSlot sound_;
  QSSignal left_;
  QSSignal right_;
  bool playing_ = true;
  float fade_ = 0.0f;         // 0 silent … 1 sounding
  double heardNext_ = 0.0;    // where in the loop the next sample was to come from
  double heardLength_ = 0.0;  // the loop's length then, in samples
};

}  // namespace tg
