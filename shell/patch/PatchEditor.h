#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/EditListener.h"
#include "shell/midi/MidiBinding.h"
#include "shell/patch/EditHistory.h"
#include "shell/patch/PatchModel.h"

namespace tg {

class StarterSettings;
class TAudioEngineModule;
class TGardeningContraption;

// The one place through which the patch changes: placing, wiring, unwiring,
// moving and deleting contraptions, every edit of a contraption's values,
// presets and window, the tempo and the pane layout, for the windows and the
// document alike. It keeps the engine's graph and the patch model in step,
// owns the contraptions, and records each user edit as an undoable command.
// Qt-free; UI thread only.
class PatchEditor final : private PatchModel::Listener, private EditListener {
 public:
  struct NodeMove {
    PatchNode* node = nullptr;
    int fromX = 0, fromY = 0, toX = 0, toY = 0;
  };
  using PaneLayout = PatchStep::PaneLayout;

  PatchEditor(TAudioEngineModule& engine, PatchModel& model);
  ~PatchEditor() override;
  PatchEditor(const PatchEditor&) = delete;
  PatchEditor& operator=(const PatchEditor&) = delete;

  // A new contraption of a type with a node at (x, y), from the starter
  // settings when given (one command all the same); null when the type is
  // unknown or refuses (a second SoundOut).
  PatchNode* NewContraption(std::string_view typeName, int x, int y,
                            const StarterSettings* starter = nullptr);
  // A wire between two of the contraptions PlaceAsOne places, by their
  // positions in its list.
  struct PlacedWire {
    int source = 0;
    int outlet = 0;
    int destination = 0;
    int inlet = 0;
  };
  // Contraptions made from text (a paste), each with its node where its
  // window state says, and the wires between them: one command of that
  // name, one graph build. The new nodes end up selected, alone; wires the
  // pane would refuse are left out.
  std::vector<PatchNode*> PlaceAsOne(std::vector<std::unique_ptr<TGardeningContraption>> made,
                                     const std::vector<PlacedWire>& wires, std::string name);
  // Puts a contraption read from a document into the graph, with its node at
  // the position its window state holds. Not an edit of the user's.
  PatchNode& Place(std::unique_ptr<TGardeningContraption> contraption);
  // A wire the user drew: refused (null) when the inlet already has one.
  PatchConnection* Connect(PatchNode& source, int outlet, PatchNode& destination, int inlet);
  // A connection read from a document: joined in the engine and shown, or
  // refused as the pane refuses a drawn one (why, in words; empty: joined).
  std::string ConnectFromDocument(TGardeningContraption& source, int outlet,
                                  TGardeningContraption& destination, int inlet);
  void Disconnect(PatchConnection& connection) { model_.DeleteConnection(connection); }
  void Delete(PatchNode& node) { model_.DeleteNode(node); }
  // Boxes the user moved (the positions are already in the model).
  void MoveNodes(const std::vector<NodeMove>& moves);
  void SetTempo(double beatsPerMinute);
  PaneLayout Layout() const;
  void SetLayout(const PaneLayout& layout);
  // Deletes every contraption and forgets the history (New, Open, Revert).
  void Clear();
  // Gives a contraption another name, as an undoable edit; its wires, its
  // MIDI bindings and its window follow. Empty when done, else why not (a
  // name that is empty, holds blanks, is too long or is taken).
  std::string Rename(PatchNode& node, const std::string& name);
  // Runs edits (preset recalls of several contraptions) as one command.
  void AsOneCommand(std::string name, const std::function<void()>& edits);

  // The document's MIDI bindings. A contraption's deletion takes its
  // bindings with it (and its undo brings them back); a rename renames them.
  const MidiBindingList& Bindings() const { return bindings_; }
  // The user's change (learning, forgetting, the bindings dialog): undoable.
  void EditBindings(MidiBindingList bindings, std::string name);
  // Bindings read from a document: not an edit.
  void LoadBindings(MidiBindingList bindings);
  // Hears of every change of the bindings, and of the contraptions they
  // name, before a contraption that goes is freed.
  void SetBindingsChangedHandler(std::function<void()> handler) {
    bindingsChanged_ = std::move(handler);
  }

  // Undo and redo.
  bool CanUndo() const { return history_.CanUndo(); }
  bool CanRedo() const { return history_.CanRedo(); }
  // The next command's name ("Change 'Feedback'"); empty when there is none.
  std::string UndoName() const;
  std::string RedoName() const;
  void Undo();
  void Redo();
  void ClearHistory();
  EditHistory& History() { return history_; }

  // Whether the patch differs from what was last saved or opened.
  bool Modified() const;
  void MarkSaved();
  // Commands recorded, undone or redone since the last call (autosave).
  int TakeChangeCount() { return history_.TakeChangeCount(); }

  // Hears of every change once it is done, whether an edit, undo or redo.
  void SetChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  // Changes made as one (a whole document read): the engine works out its
  // graph once, and the listener hears of them once, at the end.
  class Batch {
   public:
    explicit Batch(PatchEditor& patch);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    PatchEditor& patch_;
  };

  PatchModel& Model() { return model_; }
  const PatchModel& Model() const { return model_; }
  TAudioEngineModule& Engine() { return engine_; }
  PatchNode* FindNode(std::string_view contraptionName) const;

 private:
  bool OnCreateConnection(PatchConnection& connection) override;
  bool OnDeleteConnection(PatchConnection& connection) override;
  void OnDeleteNode(PatchNode& node) override;
  void OnEditBegins() override;
  void OnEditEnds() override;
  void ContraptionEdited(TGardeningContraption& contraption) override;

  bool Recording() const { return replaying_ == 0; }
  void Record(PatchStep step, std::string name, std::string mergeKey = {});
  void Carry(const PatchStep& step);
  PatchNode& Insert(std::unique_ptr<TGardeningContraption> contraption);
  void Destroy(PatchNode& node);
  // A placing or removing of a node, with the document line that remakes it.
  PatchStep NodeStep(PatchStep::Kind kind, PatchNode& node) const;
  static PatchStep WireStep(PatchStep::Kind kind, const PatchConnection& connection, int index);
  void Rebaseline(TGardeningContraption& contraption);
  // A preset or an undo may switch SoundIn's file mode, or SoundOut's file,
  // behind the engine's back.
  void FollowSoundInOut(TGardeningContraption& contraption);
  static std::string DeletionName(const std::vector<PatchStep>& steps);
  void Changed() const {
    if (batches_ > 0) {
      changePending_ = true;
    } else if (changed_) {
      changed_();
    }
  }
  void BindingsChanged() const {
    if (bindingsChanged_) bindingsChanged_();
  }
  void RenameContraption(TGardeningContraption& contraption, const std::string& name);

  TAudioEngineModule& engine_;
  PatchModel& model_;
  EditListener* previousListener_;
  std::vector<std::unique_ptr<TGardeningContraption>> contraptions_;
  // Each contraption's values as last recorded: an edit is what differs.
  std::map<const TGardeningContraption*, ContraptionSnapshot> baselines_;
  EditHistory history_;
  int replaying_ = 0;  // > 0 while undo, redo or a document changes the patch
  int grouping_ = 0;
  std::vector<PatchStep> group_;
  std::function<void()> changed_;
  int batches_ = 0;
  mutable bool changePending_ = false;
  MidiBindingList bindings_;
  std::function<void()> bindingsChanged_;
};

}  // namespace tg
