#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "app/patch/PatchModel.h"

namespace tg {

class TAudioEngineModule;
class TGardeningContraption;

// The one place through which the patch changes: placing, wiring, unwiring
// and deleting contraptions, for the windows and the document alike. It keeps
// the engine's graph and the patch model in step and owns the contraptions.
// (Undo and autosave will listen here.) UI thread only.
class PatchEditor final : private PatchModel::Listener {
 public:
  PatchEditor(TAudioEngineModule& engine, PatchModel& model);
  ~PatchEditor() override;
  PatchEditor(const PatchEditor&) = delete;
  PatchEditor& operator=(const PatchEditor&) = delete;

  // A new contraption of a type with a node at (x, y); null when the type is
  // unknown or refuses (a second SoundOut).
  PatchNode* NewContraption(std::string_view typeName, int x, int y);
  // Puts a contraption read from a document into the graph, with its node at
  // the position its window state holds.
  PatchNode& Place(std::unique_ptr<TGardeningContraption> contraption);
  // A wire the user drew: refused (null) when the inlet already has one.
  PatchConnection* Connect(PatchNode& source, int outlet, PatchNode& destination, int inlet);
  // A connection read from a document: joined in the engine and shown.
  bool ConnectFromDocument(TGardeningContraption& source, int outlet,
                           TGardeningContraption& destination, int inlet);
  void Disconnect(PatchConnection& connection) { model_.DeleteConnection(connection); }
  void Delete(PatchNode& node) { model_.DeleteNode(node); }
  // Deletes every contraption.
  void Clear() { model_.Clear(); }

  // Hears of every structural edit once it is done (wire, unwire, place, delete).
  void SetChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  PatchModel& Model() { return model_; }
  TAudioEngineModule& Engine() { return engine_; }

 private:
  bool OnCreateConnection(PatchConnection& connection) override;
  bool OnDeleteConnection(PatchConnection& connection) override;
  void OnDeleteNode(PatchNode& node) override;

  TAudioEngineModule& engine_;
  PatchModel& model_;
  void Changed() const {
    if (changed_) changed_();
  }

  std::vector<std::unique_ptr<TGardeningContraption>> contraptions_;
  std::function<void()> changed_;
};

}  // namespace tg
