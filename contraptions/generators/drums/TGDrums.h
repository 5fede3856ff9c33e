#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "files/loading/SoundSlot.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"

namespace tg {

// "Drums": five sample slots started by a 32-step pattern on the tempo
// clock's sixteenth notes (two bars); no inlets, one mono outlet.
class TGDrums final : public QSSignalProcessor {
 public:
  static constexpr int kSlots = 5;
  static constexpr int kSteps = 32;
  static constexpr int kTicksPerStep = 6;
  // A slot holds at most one second.
  static constexpr int32_t kTableSize = 44100;

  // UI thread. The loader reads the slots' files (tests pass their own).
  explicit TGDrums(QSDynSigContext* context, SoundLoader& loader = SoundLoader::Instance());

  // Audio thread.
  void Process() override;
  // UI thread, audio stopped or the processor outside the graph: stops every slot.
  void Reset() override;
  // UI thread.
  QSPropertyTable* GetPropertyTable() override;

  // The sound data one instance may hold: a full table per slot.
  static size_t BufferMemory() {
    return static_cast<size_t>(kSlots) * (kTableSize + 1) * sizeof(float);
  }

  QSDoubleProperty volume{0.0};     // "Volume"
  QSBoolProperty mute{false};       // "Mute"
  QSBoolProperty gate0And1{false};  // "Gate0And1"

  // Any thread (the properties are the UI thread's to set).
  QSCStringProperty& File(int slot) { return files_[Index(slot)]; }
  const QSCStringProperty& File(int slot) const { return files_[Index(slot)]; }
  QSDoubleProperty& SlotVolume(int slot) { return volumes_[Index(slot)]; }
  const QSDoubleProperty& SlotVolume(int slot) const { return volumes_[Index(slot)]; }
  // Bit k starts the slot on step k.
  QSIntProperty& Gates(int slot) { return gates_[Index(slot)]; }
  const QSIntProperty& Gates(int slot) const { return gates_[Index(slot)]; }
  QSBoolProperty& SlotMute(int slot) { return mutes_[Index(slot)]; }
  const QSBoolProperty& SlotMute(int slot) const { return mutes_[Index(slot)]; }

  // UI thread: the newest load of the slot could not read its file (its
  // sample before stays).
  bool SlotLoadFailed(int slot) const { return sounds_[Index(slot)].LastLoadFailed(); }
  // UI thread: a load asked for has not finished.
  bool SlotLoading(int slot) const { return sounds_[Index(slot)].IsLoading(); }

  // Audio thread, before the block's Process (a MIDI pad): the slot's sample
  // starts at that sample of the block, its level scaled by velocity (0 … 1),
  // whether or not the clock runs. Pads play beside the pattern, each slot
  // on a player of its own; a muted slot stays silent.
  void PlayPad(int slot, float velocity, int offset);

 private:
  // One slot's sample player, reading its table at a position that moves one
  // entry a sample; it sounds while position < end.
  struct Player {
    const SoundData* sound = nullptr;
    double position = 0.0;
    int32_t end = 0;
    float gain = 0.0f;
    float fadeStep = 0.0f;
    bool Sounding() const { return static_cast<double>(end) > position; }
    void Stop() { position = end; }
  };

  using Players = std::array<Player, kSlots>;
  struct PadHit {
    int slot = 0;
    float velocity = 0.0f;
    int offset = 0;
  };

  static size_t Index(int slot) { return static_cast<size_t>(slot); }
  void TakeNewSounds();
  void HandleTick(int64_t tick, double samplesPerTick);
  void StartSlot(int slot);
  void ArmFade(int slot, double samplesPerTick);
  void PlayPadHits();
  void Render(Players& players, int from, int to);

  std::array<QSCStringProperty, kSlots> files_{
      QSCStringProperty(QSCStringProperty::SoundFileName{}),
      QSCStringProperty(QSCStringProperty::SoundFileName{}),
      QSCStringProperty(QSCStringProperty::SoundFileName{}),
      QSCStringProperty(QSCStringProperty::SoundFileName{}),
      QSCStringProperty(QSCStringProperty::SoundFileName{})};
  std::array<QSDoubleProperty, kSlots> volumes_;
  std::array<QSIntProperty, kSlots> gates_;
  std::array<QSBoolProperty, kSlots> mutes_;
  QSStaticPropertyTable table_;

  std::array<SoundSlot, kSlots> sounds_;
  Players players_;
  Players padPlayers_;
  std::array<PadHit, 32> padHits_{};
  size_t padHitCount_ = 0;
  QSSignal out_;
  // Mutes as latched at the last bar start.
  bool masterMuted_ = false;
  std::array<bool, kSlots> slotMuted_{};
};

}  // namespace tg
