#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "framework/QSPreset.h"
#include "framework/QSSignalProcessor.h"
#include "framework/TContraptionFormState.h"

namespace tg {

class ContraptionEngine;
class TContraptionMaker;

// One module of the patch: its processor, its instance name, its twenty
// preset slots and its window state. UI thread only.
class TGardeningContraption {
 public:
  static constexpr int kPresetCount = 20;

  // Owns the processor.
  TGardeningContraption(ContraptionEngine& engine, TContraptionMaker& maker,
                        std::unique_ptr<QSSignalProcessor> processor, std::string_view name);
  // Refers to a processor that lives elsewhere (the engine's SoundIn and SoundOut).
  TGardeningContraption(ContraptionEngine& engine, TContraptionMaker& maker,
                        QSSignalProcessor& processor, std::string_view name);
  // Call under the engine lock while the processor is in a running graph.
  virtual ~TGardeningContraption();
  TGardeningContraption(const TGardeningContraption&) = delete;
  TGardeningContraption& operator=(const TGardeningContraption&) = delete;

  const std::string& Name() const { return name_; }
  // Another name (PatchEditor checks it is free): the type's numbering follows.
  void Rename(std::string_view name);
  const std::string& TypeName() const;
  TContraptionMaker& Maker() const { return *maker_; }
  ContraptionEngine& Engine() const { return *engine_; }
  QSSignalProcessor& Processor() const { return *processor_; }
  bool OwnsProcessor() const { return ownedProcessor_ != nullptr; }
  TContraptionFormState& WindowState() { return windowState_; }
  const TContraptionFormState& WindowState() const { return windowState_; }

  // Preset slots 0..19; any other index does nothing and answers false.
  // Storing, recalling, clearing, cutting and pasting are edits of the
  // document like any other (the current preset follows as it says).
  QSPreset& PresetAt(int index) { return *presets_[static_cast<size_t>(index)]; }
  bool HasPreset(int index) const;
  void StorePreset(int index);
  void RecallPreset(int index);
  void ClearPreset(int index);
  // Puts "preset: Type { … }" on the clipboard.
  void CopyPreset(int index);
  void CutPreset(int index);
  // Whether the clipboard holds a preset of this contraption's type.
  bool CanPastePreset() const;
  void PastePreset(int index);
  // The slot last stored or recalled, -1 for none.
  int CurrentPreset() const { return currentPreset_; }
  // Undo and redo put back the current preset as it was.
  void SetCurrentPreset(int index) { currentPreset_ = ValidSlot(index) ? index : -1; }
  // While the host hears of an edit: what it was ("Store Preset 3"), or
  // empty for a change of parameters or of the window.
  const std::string& EditName() const { return editName_; }

  // Every user edit ends here: the document becomes modified and the current
  // preset no longer describes the sound.
  void MarkChanged();
  // Opens or raises the editor window (nothing without one).
  void ShowWindow();
  // Closes the editor window, if open.
  void CloseWindow();
  // After undo or redo changed values or the window's place behind its back:
  // the open window shows them.
  void WindowStateRestored();
  // Opens the type's help page (nothing for help number 0).
  void Help();

 private:
  // Tells the host of an edit (the document is modified; undo records).
  void Edited(std::string name = {});
  static bool ValidSlot(int index) { return index >= 0 && index < kPresetCount; }
  std::string PresetText(int index) const;

  ContraptionEngine* engine_;
  TContraptionFormState windowState_;
  TContraptionMaker* maker_;
  std::string name_;
  std::unique_ptr<QSSignalProcessor> ownedProcessor_;
  QSSignalProcessor* processor_;
  std::array<std::unique_ptr<QSPreset>, kPresetCount> presets_;
  int currentPreset_ = 0;
  std::string editName_;
};

}  // namespace tg
