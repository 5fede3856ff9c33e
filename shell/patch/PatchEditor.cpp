#include "shell/patch/PatchEditor.h"

#include <algorithm>
#include <sstream>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSPropertyTable.h"
#include "shell/patch/ContraptionItem.h"
#include "shell/patch/StarterSettings.h"
#include "shell/patch/WireRules.h"

namespace tg {

PatchEditor::PatchEditor(TAudioEngineModule& engine, PatchModel& model)
    : engine_(engine), model_(model), previousListener_(engine.Host().edits) {
  model_.SetListener(this);
  engine_.Host().edits = this;
}

PatchEditor::~PatchEditor() {
  ++replaying_;
  model_.Clear();
  model_.SetListener(nullptr);
  engine_.Host().edits = previousListener_;
}

PatchNode* PatchEditor::NewContraption(std::string_view typeName, int x, int y,
                                       const StarterSettings* starter) {
  auto contraption = engine_.Factory().Create(engine_, typeName, "");
  if (contraption == nullptr) return nullptr;
  // Before it joins the patch, so that its placing records the starter.
  if (starter != nullptr) starter->ApplyTo(*contraption);
  contraption->WindowState().nodeX = x;
  contraption->WindowState().nodeY = y;
  PatchNode& node = Insert(std::move(contraption));
  Record(NodeStep(PatchStep::Kind::Place, node), "New " + node.contraption->Name());
  Changed();
  return &node;
}

std::vector<PatchNode*> PatchEditor::PlaceAsOne(
    std::vector<std::unique_ptr<TGardeningContraption>> made, const std::vector<PlacedWire>& wires,
    std::string name) {
  std::vector<PatchNode*> nodes;
  const Batch batch(*this);
  AsOneCommand(std::move(name), [&] {
    for (auto& contraption : made) {
      PatchNode& node = Insert(std::move(contraption));
      Record(NodeStep(PatchStep::Kind::Place, node), {});
      nodes.push_back(&node);
    }
    const auto count = static_cast<int>(nodes.size());
    for (const PlacedWire& w : wires) {
      if (w.source < 0 || w.source >= count || w.destination < 0 || w.destination >= count)
        continue;
      PatchNode& from = *nodes[static_cast<size_t>(w.source)];
      PatchNode& to = *nodes[static_cast<size_t>(w.destination)];
      if (w.outlet < 0 || w.outlet >= from.outletCount || w.inlet < 0 || w.inlet >= to.inletCount)
        continue;
      model_.CreateConnection(from, w.outlet, to, w.inlet);
    }
  });
  model_.ClearSelection();
  for (PatchNode* node : nodes) node->selected = true;
  Changed();
  return nodes;
}

PatchNode& PatchEditor::Place(std::unique_ptr<TGardeningContraption> contraption) {
  PatchNode& node = Insert(std::move(contraption));
  Changed();
  return node;
}

PatchNode& PatchEditor::Insert(std::unique_ptr<TGardeningContraption> contraption) {
  engine_.AttachContraption(*contraption);
  TGardeningContraption& c = *contraption;
  contraptions_.push_back(std::move(contraption));
  const QSSignalProcessor& p = c.Processor();
  PatchNode& node = model_.AddNode(c.WindowState().nodeX, c.WindowState().nodeY, c.Name(),
                                   p.InletCount(), p.OutletCount(), &c);
  baselines_[&c] = ContraptionSnapshot::Of(c);
  return node;
}

PatchConnection* PatchEditor::Connect(PatchNode& source, int outlet, PatchNode& destination,
                                      int inlet) {
  return model_.CreateConnection(source, outlet, destination, inlet);
}

std::string PatchEditor::ConnectFromDocument(TGardeningContraption& source, int outlet,
                                             TGardeningContraption& destination, int inlet) {
  PatchNode* from = model_.FindNode(&source);
  PatchNode* to = model_.FindNode(&destination);
  if (from == nullptr || to == nullptr) return "The contraption is not in the patch";
  // The pane's own rules: a wire it would refuse when drawn would show in
  // the pane otherwise than the engine plays it.
  std::string refusal = WireRefusal(model_, *from, outlet, *to, inlet);
  if (!refusal.empty()) return refusal;
  engine_.ConnectContraptions(source, outlet, destination, inlet);
  model_.AddConnection(*from, outlet, *to, inlet);
  return {};
}

void PatchEditor::MoveNodes(const std::vector<NodeMove>& moves) {
  std::vector<PatchStep> steps;
  std::string key = "move";
  for (const NodeMove& m : moves) {
    if (m.node == nullptr || (m.fromX == m.toX && m.fromY == m.toY)) continue;
    PatchStep step;
    step.kind = PatchStep::Kind::Move;
    step.source = m.node->contraption->Name();
    step.fromX = m.fromX;
    step.fromY = m.fromY;
    step.toX = m.toX;
    step.toY = m.toY;
    m.node->contraption->WindowState().nodeX = m.toX;
    m.node->contraption->WindowState().nodeY = m.toY;
    key += ':' + step.source;
    steps.push_back(std::move(step));
  }
  if (steps.empty()) return;
  std::string name = steps.size() == 1 ? "Move " + steps.front().source
                                       : "Move " + std::to_string(steps.size()) + " Contraptions";
  history_.Push(PatchCommand{std::move(name), std::move(steps), std::move(key), {}});
  Changed();
}

void PatchEditor::SetTempo(double beatsPerMinute) {
  PatchStep step;
  step.kind = PatchStep::Kind::Tempo;
  step.tempoBefore = engine_.DocumentTempo();
  engine_.SetTempo(beatsPerMinute);
  step.tempoAfter = engine_.DocumentTempo();
  if (step.tempoAfter == step.tempoBefore) return;
  Record(std::move(step), "Change Tempo", "tempo");
  Changed();
}

PatchEditor::PaneLayout PatchEditor::Layout() const {
  return {model_.PaneWidth(), model_.PatcherShown(), model_.PropertiesShown()};
}

void PatchEditor::SetLayout(const PaneLayout& layout) {
  PatchStep step;
  step.kind = PatchStep::Kind::Layout;
  step.layoutBefore = Layout();
  step.layoutAfter = layout;
  if (step.layoutBefore == layout) return;
  Carry(step);
  Record(std::move(step), "Change Layout", "layout");
}

PatchEditor::Batch::Batch(PatchEditor& patch) : patch_(patch) {
  ++patch_.batches_;
  patch_.engine_.BeginGraphBatch();
}

PatchEditor::Batch::~Batch() {
  patch_.engine_.EndGraphBatch();
  if (--patch_.batches_ > 0 || !patch_.changePending_) return;
  patch_.changePending_ = false;
  patch_.Changed();
}

void PatchEditor::Clear() {
  const TAudioEngineModule::GraphBatch batch(engine_);
  // The bindings go first, all at once, rather than one contraption at a time.
  if (!bindings_.Empty()) {
    bindings_ = {};
    BindingsChanged();
  }
  ++replaying_;
  model_.Clear();
  --replaying_;
  ClearHistory();
}

std::string PatchEditor::Rename(PatchNode& node, const std::string& name) {
  const std::string old = node.contraption->Name();
  if (name == old) return {};
  if (name.empty()) return "A name cannot be empty.";
  if (name.size() > TContraptionFactory::kMaxNameLength)
    return "A name can be at most " + std::to_string(TContraptionFactory::kMaxNameLength) +
           " characters long.";
  if (std::any_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) <= ' '; }))
    return "A name cannot hold spaces, tabs or line breaks.";
  if (engine_.Factory().FindContraption(name) != nullptr)
    return "Another contraption is called \"" + name + "\".";
  PatchStep step;
  step.kind = PatchStep::Kind::Rename;
  step.source = old;
  step.destination = name;
  Carry(step);
  Record(std::move(step), "Rename " + old + " to " + name);
  Changed();
  return {};
}

void PatchEditor::RenameContraption(TGardeningContraption& contraption, const std::string& name) {
  const std::string old = contraption.Name();
  contraption.Rename(name);
  if (PatchNode* node = model_.FindNode(&contraption)) node->caption = name;
  if (bindings_.Rename(old, name)) BindingsChanged();
  contraption.WindowStateRestored();  // the window's header shows the name
}

void PatchEditor::AsOneCommand(std::string name, const std::function<void()>& edits) {
  ++grouping_;
  edits();
  if (--grouping_ > 0 || group_.empty()) return;
  std::vector<PatchStep> steps = std::move(group_);
  group_.clear();
  history_.Push(PatchCommand{std::move(name), std::move(steps), {}, {}});
  Changed();
}

void PatchEditor::EditBindings(MidiBindingList bindings, std::string name) {
  if (bindings == bindings_) return;
  PatchStep step;
  step.kind = PatchStep::Kind::Bindings;
  step.bindings = bindings_.Lines();
  step.bindingsAfter = bindings.Lines();
  bindings_ = std::move(bindings);
  BindingsChanged();
  Record(std::move(step), std::move(name));
  Changed();
}

void PatchEditor::LoadBindings(MidiBindingList bindings) {
  bindings_ = std::move(bindings);
  BindingsChanged();
}

std::string PatchEditor::UndoName() const { return CanUndo() ? history_.NextUndo().name : ""; }
std::string PatchEditor::RedoName() const { return CanRedo() ? history_.NextRedo().name : ""; }

void PatchEditor::Undo() {
  if (!CanUndo()) return;
  const PatchCommand command = history_.NextUndo();
  history_.StepBack();
  const TAudioEngineModule::GraphBatch batch(engine_);
  ++replaying_;
  for (auto it = command.steps.rbegin(); it != command.steps.rend(); ++it) Carry(it->Inverse());
  --replaying_;
  history_.Seal();
  Changed();
}

void PatchEditor::Redo() {
  if (!CanRedo()) return;
  const PatchCommand command = history_.NextRedo();
  history_.StepForward();
  const TAudioEngineModule::GraphBatch batch(engine_);
  ++replaying_;
  for (const PatchStep& step : command.steps) Carry(step);
  --replaying_;
  history_.Seal();
  Changed();
}

void PatchEditor::ClearHistory() {
  history_.Clear();
  group_.clear();
}

bool PatchEditor::Modified() const {
  return !history_.AtSaved() || model_.Modified() || engine_.IsDocumentModified();
}

void PatchEditor::MarkSaved() {
  history_.MarkSaved();
  model_.SetModified(false);
  engine_.SetDocumentModified(false);
}

PatchNode* PatchEditor::FindNode(std::string_view contraptionName) const {
  for (int i = 0; i < model_.NodeCount(); ++i) {
    PatchNode& node = model_.NodeAt(i);
    if (node.contraption->Name() == contraptionName) return &node;
  }
  return nullptr;
}

void PatchEditor::Carry(const PatchStep& step) {
  using Kind = PatchStep::Kind;
  ++replaying_;
  switch (step.kind) {
    case Kind::Place: {
      std::istringstream in(step.item);
      // Reading the line opens its window, as a document's does.
      auto contraption = engine_.Factory().ReadContraption(engine_, in);
      if (contraption == nullptr) break;
      contraption->WindowState().windowPlaced = true;
      PatchNode& node = Insert(std::move(contraption));
      model_.MoveNodeTo(node, step.index);
      Rebaseline(*node.contraption);
      if (!step.bindings.empty()) {
        bindings_.InsertPlacedLines(step.bindings);
        BindingsChanged();
      }
      break;
    }
    case Kind::Remove:
      if (PatchNode* node = FindNode(step.source)) model_.DeleteNode(*node);
      break;
    case Kind::Connect: {
      PatchNode* from = FindNode(step.source);
      PatchNode* to = FindNode(step.destination);
      if (from == nullptr || to == nullptr) break;
      if (PatchConnection* c = model_.CreateConnection(*from, step.outlet, *to, step.inlet))
        model_.MoveConnectionTo(*c, step.index);
      break;
    }
    case Kind::Disconnect:
      for (int i = 0; i < model_.ConnectionCount(); ++i) {
        PatchConnection& c = model_.ConnectionAt(i);
        if (c.source->contraption->Name() == step.source && c.outlet == step.outlet &&
            c.destination->contraption->Name() == step.destination && c.inlet == step.inlet) {
          model_.DeleteConnection(c);
          break;
        }
      }
      break;
    case Kind::Move:
      if (PatchNode* node = FindNode(step.source)) {
        node->x = step.toX;
        node->y = step.toY;
        node->contraption->WindowState().nodeX = step.toX;
        node->contraption->WindowState().nodeY = step.toY;
      }
      break;
    case Kind::State:
      if (PatchNode* node = FindNode(step.source)) {
        step.after.ApplyTo(*node->contraption);
        Rebaseline(*node->contraption);
        FollowSoundInOut(*node->contraption);
      }
      break;
    case Kind::Tempo:
      engine_.SetTempo(step.tempoAfter);
      break;
    case Kind::Layout:
      model_.SetPaneWidth(step.layoutAfter.paneWidth);
      model_.SetPatcherShown(step.layoutAfter.patcherShown);
      model_.SetPropertiesShown(step.layoutAfter.propertiesShown);
      break;
    case Kind::Bindings:
      bindings_ = MidiBindingList::FromLines(step.bindingsAfter);
      BindingsChanged();
      break;
    case Kind::Rename:
      if (PatchNode* node = FindNode(step.source))
        RenameContraption(*node->contraption, step.destination);
      break;
  }
  --replaying_;
}

void PatchEditor::Record(PatchStep step, std::string name, std::string mergeKey) {
  if (!Recording()) return;
  if (grouping_ > 0) {
    group_.push_back(std::move(step));
    return;
  }
  std::vector<PatchStep> steps;
  steps.push_back(std::move(step));
  history_.Push(PatchCommand{std::move(name), std::move(steps), std::move(mergeKey), {}});
}

PatchStep PatchEditor::NodeStep(PatchStep::Kind kind, PatchNode& node) const {
  TContraptionFormState& state = node.contraption->WindowState();
  state.nodeX = node.x;
  state.nodeY = node.y;
  std::ostringstream item;
  WriteContraptionItem(item, *node.contraption);
  PatchStep step;
  step.kind = kind;
  step.index = model_.IndexOf(node);
  step.source = node.contraption->Name();
  step.item = item.str();
  step.bindings = bindings_.PlacedLinesOf(step.source);
  return step;
}

void PatchEditor::Rebaseline(TGardeningContraption& contraption) {
  baselines_[&contraption] = ContraptionSnapshot::Of(contraption);
}

std::string PatchEditor::DeletionName(const std::vector<PatchStep>& steps) {
  const auto removed = std::count_if(steps.begin(), steps.end(), [](const PatchStep& s) {
    return s.kind == PatchStep::Kind::Remove;
  });
  if (removed == 1) {
    for (const PatchStep& s : steps) {
      if (s.kind == PatchStep::Kind::Remove) return "Delete " + s.source;
    }
  }
  if (removed > 1) return "Delete " + std::to_string(removed) + " Contraptions";
  return steps.size() == 1 ? "Delete Wire" : "Delete " + std::to_string(steps.size()) + " Wires";
}

PatchStep PatchEditor::WireStep(PatchStep::Kind kind, const PatchConnection& connection,
                                int index) {
  PatchStep step;
  step.kind = kind;
  step.index = index;
  step.source = connection.source->contraption->Name();
  step.outlet = connection.outlet;
  step.destination = connection.destination->contraption->Name();
  step.inlet = connection.inlet;
  return step;
}

bool PatchEditor::OnCreateConnection(PatchConnection& connection) {
  // The rules the pane tells the user about are the ones that hold here.
  if (!WireRefusal(model_, *connection.source, connection.outlet, *connection.destination,
                   connection.inlet)
           .empty())
    return false;
  const bool joined =
      engine_.ConnectContraptions(*connection.source->contraption, connection.outlet,
                                  *connection.destination->contraption, connection.inlet);
  if (!joined) return false;
  PatchStep step = WireStep(PatchStep::Kind::Connect, connection, model_.ConnectionCount());
  std::string name = "Connect " + step.source;
  name.append(" to ").append(step.destination);
  Record(std::move(step), std::move(name));
  Changed();
  return true;
}

bool PatchEditor::OnDeleteConnection(PatchConnection& connection) {
  engine_.DisconnectContraptions(*connection.source->contraption, connection.outlet,
                                 *connection.destination->contraption, connection.inlet);
  Record(WireStep(PatchStep::Kind::Disconnect, connection, model_.IndexOf(connection)),
         "Delete Wire");
  Changed();
  return true;
}

void PatchEditor::OnDeleteNode(PatchNode& node) {
  auto it = std::find_if(contraptions_.begin(), contraptions_.end(),
                         [&](const auto& c) { return c.get() == node.contraption; });
  if (it == contraptions_.end()) return;
  if (Recording()) {
    Record(NodeStep(PatchStep::Kind::Remove, node), "Delete " + node.contraption->Name());
  }
  baselines_.erase(node.contraption);
  // Nothing may reach the contraption once it is freed: its bindings go first.
  if (bindings_.RemoveOf(node.contraption->Name())) BindingsChanged();
  std::unique_ptr<TGardeningContraption> doomed = std::move(*it);
  contraptions_.erase(it);
  // Not under the engine lock: closing the window and stopping a stream
  // (a device stop and a thread join) would keep the audio thread waiting.
  engine_.DestroyContraption(std::move(doomed));
  if (engine_.IsAudioInRunning() && !engine_.CanStartAudioIn()) engine_.StopAudioIn();
  if (engine_.IsAudioOutRunning() && !engine_.HasSoundOut()) engine_.StopAudioOut();
  Changed();
}

void PatchEditor::FollowSoundInOut(TGardeningContraption& contraption) {
  if (&contraption.Processor() == &engine_.SoundInProcessor()) engine_.FollowSoundInMode();
  // A file name undone, redone or recalled is the file SoundOut records to
  // (a choice in its window has switched already, and this does nothing).
  if (&contraption.Processor() == &engine_.SoundOutProcessor())
    engine_.SoundOutProcessor().Reset();
}

void PatchEditor::OnEditBegins() {
  ++grouping_;
  engine_.BeginGraphBatch();
}

void PatchEditor::OnEditEnds() {
  engine_.EndGraphBatch();
  if (--grouping_ > 0 || group_.empty()) return;
  std::vector<PatchStep> steps = std::move(group_);
  group_.clear();
  std::string name = DeletionName(steps);
  history_.Push(PatchCommand{std::move(name), std::move(steps), {}, {}});
}

void PatchEditor::ContraptionEdited(TGardeningContraption& contraption) {
  auto base = baselines_.find(&contraption);
  if (base == baselines_.end()) return;  // going away, or not in the patch
  FollowSoundInOut(contraption);
  ContraptionSnapshot after = ContraptionSnapshot::Of(contraption);
  if (!Recording() || after == base->second) {
    base->second = std::move(after);
    return;
  }
  // A press that only left the preset is no edit of its own: the next one
  // undoes back to the preset as it was before the press.
  ContraptionSnapshot samePreset = after;
  samePreset.currentPreset = base->second.currentPreset;
  if (samePreset == base->second) return;
  PatchStep step;
  step.kind = PatchStep::Kind::State;
  step.source = contraption.Name();
  step.before = std::move(base->second);
  step.after = after;
  base->second = std::move(after);
  std::string name = contraption.EditName();
  std::string key;
  if (name.empty()) {
    const std::vector<int> changed = step.after.ChangedParameters(step.before);
    if (changed.size() == 1) {
      const QSPropertyTable& table = *contraption.Processor().GetPropertyTable();
      name = "Change '" + table.InfoAt(changed.front()).name + "'";
    } else if (!changed.empty()) {
      name = "Change " + contraption.Name();
    } else if (step.after.windowOpen != step.before.windowOpen) {
      name = (step.after.windowOpen ? "Open Window of " : "Close Window of ") + contraption.Name();
    } else if (step.after.windowTop != step.before.windowTop ||
               step.after.windowLeft != step.before.windowLeft) {
      name = "Move Window of " + contraption.Name();
      key = "window:" + contraption.Name();
    } else {
      name = "Edit " + contraption.Name();
    }
    if (!changed.empty()) {
      key = "values:" + contraption.Name();
      for (int i : changed) key += ':' + std::to_string(i);
    }
  }
  Record(std::move(step), std::move(name), std::move(key));
  Changed();
}

}  // namespace tg
