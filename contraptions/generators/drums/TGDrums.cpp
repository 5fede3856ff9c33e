#include "contraptions/generators/drums/TGDrums.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "dsp/Interpolation.h"
#include "graph/QSDynSigContext.h"

namespace tg {

namespace {

constexpr int kTicksPerPattern = TGDrums::kSteps * TGDrums::kTicksPerStep;  // 192
// Slot 1 before slot 0, so that with "Gate0And1" slot 0 wins a shared step.
constexpr int kStartOrder[TGDrums::kSlots] = {1, 0, 2, 3, 4};
// Clock positions beyond this are nonsense; ticks are not counted there.
constexpr double kLargestPosition = 1e12;

}  // namespace

TGDrums::TGDrums(QSDynSigContext* context, SoundLoader& loader)
    : QSSignalProcessor(context, 0, 1),
      sounds_{{SoundSlot(SoundConversion::Table(kTableSize), loader),
               SoundSlot(SoundConversion::Table(kTableSize), loader),
               SoundSlot(SoundConversion::Table(kTableSize), loader),
               SoundSlot(SoundConversion::Table(kTableSize), loader),
               SoundSlot(SoundConversion::Table(kTableSize), loader)}} {
  SetOutletSignal(0, &out_);
  for (int i = 0; i < kSlots; ++i) sounds_[Index(i)].Follow(files_[Index(i)]);
}

QSPropertyTable* TGDrums::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const auto numbered = [](const char* name, int i) { return name + std::to_string(i); };
    add(volume, "Volume", QSGainUnits::Get(), 0.0, 1.0);
    add(mute, "Mute");
    add(gate0And1, "Gate0And1");
    for (int i = 0; i < kSlots; ++i) add(File(i), numbered("File_", i));
    for (int i = 0; i < kSlots; ++i)
      add(SlotVolume(i), numbered("Volume_", i), QSGainUnits::Get(), 0.0, 1.0);
    // One bit a step; step 31 makes the number negative.
    for (int i = 0; i < kSlots; ++i)
      add(Gates(i), numbered("Gates_", i), QSAbstractUnits::Get(), INT32_MIN, INT32_MAX);
    for (int i = 0; i < kSlots; ++i) add(SlotMute(i), numbered("Mutes_", i));
  });
}

void TGDrums::Reset() {
  for (Player& p : players_) p.Stop();
  for (Player& p : padPlayers_) p.Stop();
  padHitCount_ = 0;
}

void TGDrums::PlayPad(int slot, float velocity, int offset) {
  if (slot < 0 || slot >= kSlots || padHitCount_ == padHits_.size()) return;
  padHits_[padHitCount_++] = {slot, std::clamp(velocity, 0.0f, 1.0f),
                              std::clamp(offset, 0, kBlockSize - 1)};
}

void TGDrums::PlayPadHits() {
  // In the order of their samples; few hits a block, so a plain insertion.
  for (size_t i = 1; i < padHitCount_; ++i) {
    for (size_t k = i; k > 0 && padHits_[k - 1].offset > padHits_[k].offset; --k)
      std::swap(padHits_[k - 1], padHits_[k]);
  }
  int rendered = 0;
  for (size_t i = 0; i < padHitCount_; ++i) {
    const PadHit& hit = padHits_[i];
    Render(padPlayers_, rendered, hit.offset);
    rendered = hit.offset;
    if (mute.Value() || SlotMute(hit.slot).Value()) continue;
    Player& p = padPlayers_[Index(hit.slot)];
    p.position = 0.0;
    p.gain = static_cast<float>(SlotVolume(hit.slot).Value() * volume.Value() * 0.75 *
                                static_cast<double>(hit.velocity));
    p.fadeStep = 0.0f;
  }
  padHitCount_ = 0;
  Render(padPlayers_, rendered, kBlockSize);
}

void TGDrums::TakeNewSounds() {
  for (int i = 0; i < kSlots; ++i) {
    const SoundData* sound = sounds_[Index(i)].Acquire();
    for (Player* p : {&players_[Index(i)], &padPlayers_[Index(i)]}) {
      if (sound == p->sound) continue;
      p->sound = sound;
      // The length at the program's rate, so a file of another rate plays whole.
      p->end = sound == nullptr ? 0 : std::clamp(sound->SoundFrames(), 0, kTableSize);
      p->Stop();
    }
  }
}

void TGDrums::Process() {
  TakeNewSounds();
  out_.Fill(0.0f);
  PlayPadHits();
  if (Context() == nullptr) return;
  const TempoClock& clock = Context()->Clock();
  // Stopped or paused: silent, and every player waits where it is.
  if (!clock.IsRunning()) return;

  const double position = clock.Position();
  const double samplesPerTick = clock.SamplesPerClock();
  int rendered = 0;
  if (std::isfinite(samplesPerTick) && samplesPerTick >= 1.0 &&
      std::fabs(position) < kLargestPosition) {
    // The first tick at or after the block's start, and its sample.
    const double first = std::ceil(position);
    auto tick = static_cast<int64_t>(first);
    for (double d = (first - position) * samplesPerTick; d < kBlockSize; d += samplesPerTick) {
      const int at = static_cast<int>(d);
      Render(players_, rendered, at);
      rendered = at;
      HandleTick(tick, samplesPerTick);
      ++tick;
    }
  }
  Render(players_, rendered, kBlockSize);
}

void TGDrums::HandleTick(int64_t tick, double samplesPerTick) {
  const auto r =
      static_cast<int>(((tick % kTicksPerPattern) + kTicksPerPattern) % kTicksPerPattern);
  const int step = r / kTicksPerStep;
  const int phase = r % kTicksPerStep;

  // Mutes change only at the start of a bar (steps 0 and 16).
  if (step == 0 || step == kSteps / 2) {
    masterMuted_ = mute.Value();
    for (int i = 0; i < kSlots; ++i) slotMuted_[Index(i)] = SlotMute(i).Value();
  }
  if (masterMuted_) return;

  if (phase == 0) {
    const uint32_t bit = 1u << step;
    for (int slot : kStartOrder) {
      if ((static_cast<uint32_t>(Gates(slot).Value()) & bit) == 0) continue;
      if (slotMuted_[Index(slot)]) {
        players_[Index(slot)].Stop();
      } else {
        StartSlot(slot);
      }
    }
  } else if (phase == kTicksPerStep - 1) {
    // A slot that starts again on the next step fades out over this last tick.
    const uint32_t next = 1u << ((step + 1) % kSteps);
    for (int slot = 0; slot < kSlots; ++slot) {
      if ((static_cast<uint32_t>(Gates(slot).Value()) & next) == 0 || slotMuted_[Index(slot)])
        continue;
      ArmFade(slot, samplesPerTick);
      if (slot < 2 && gate0And1.Value()) ArmFade(1 - slot, samplesPerTick);
    }
  }
}

void TGDrums::StartSlot(int slot) {
  Player& p = players_[Index(slot)];
  p.position = 0.0;
  p.gain = static_cast<float>(SlotVolume(slot).Value() * volume.Value() * 0.75);
  p.fadeStep = 0.0f;
  if (slot < 2 && gate0And1.Value()) players_[Index(1 - slot)].Stop();
}

void TGDrums::ArmFade(int slot, double samplesPerTick) {
  Player& p = players_[Index(slot)];
  p.fadeStep = static_cast<float>(p.gain / samplesPerTick);
}

void TGDrums::Render(Players& players, int from, int to) {
  float* out = out_.Data();
  for (Player& p : players) {
    if (!p.Sounding()) continue;
    // Only the part before the sample's end adds anything; a player that has
    // ended is started afresh (gain and fade step set anew) before it sounds.
    const auto left = static_cast<int>(std::ceil(static_cast<double>(p.end) - p.position));
    const int until = std::min(to, from + left);
    const float* table = p.sound->Samples();
    const float step = p.fadeStep;
    if (step == 0.0f) {
      for (int s = from; s < until; ++s, p.position += 1.0)
        out[s] += QSInterpLookup(table, static_cast<float>(p.position)) * p.gain;
      continue;
    }
    for (int s = from; s < until; ++s, p.position += 1.0) {
      out[s] += QSInterpLookup(table, static_cast<float>(p.position)) * p.gain;
      // A fade stops at silence rather than turning the sample over; it can
      // run on past a tick when a bar start latched the master mute.
      p.gain -= step;
      if (step > 0.0f ? p.gain < 0.0f : p.gain > 0.0f) p.gain = 0.0f;
    }
  }
}

}  // namespace tg
