#include "app/patch/PatchEditor.h"

#include <algorithm>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"

namespace tg {

PatchEditor::PatchEditor(TAudioEngineModule& engine, PatchModel& model)
    : engine_(engine), model_(model) {
  model_.SetListener(this);
}

PatchEditor::~PatchEditor() {
  model_.Clear();
  model_.SetListener(nullptr);
}

PatchNode* PatchEditor::NewContraption(std::string_view typeName, int x, int y) {
  auto contraption = engine_.Factory().Create(engine_, typeName, "");
  if (contraption == nullptr) return nullptr;
  contraption->WindowState().nodeX = x;
  contraption->WindowState().nodeY = y;
  return &Place(std::move(contraption));
}

PatchNode& PatchEditor::Place(std::unique_ptr<TGardeningContraption> contraption) {
  engine_.AttachContraption(*contraption);
  TGardeningContraption& c = *contraption;
  contraptions_.push_back(std::move(contraption));
  const QSSignalProcessor& p = c.Processor();
  PatchNode& node = model_.AddNode(c.WindowState().nodeX, c.WindowState().nodeY, c.Name(),
                                   p.InletCount(), p.OutletCount(), &c);
  Changed();
  return node;
}

PatchConnection* PatchEditor::Connect(PatchNode& source, int outlet, PatchNode& destination,
                                      int inlet) {
  return model_.CreateConnection(source, outlet, destination, inlet);
}

bool PatchEditor::ConnectFromDocument(TGardeningContraption& source, int outlet,
                                      TGardeningContraption& destination, int inlet) {
  PatchNode* from = model_.FindNode(&source);
  PatchNode* to = model_.FindNode(&destination);
  if (from == nullptr || to == nullptr) return false;
  // Indices out of range join nothing in the engine; the pane shows no wire either.
  if (outlet < 0 || outlet >= from->outletCount || inlet < 0 || inlet >= to->inletCount)
    return false;
  engine_.ConnectContraptions(source, outlet, destination, inlet);
  model_.AddConnection(*from, outlet, *to, inlet);
  return true;
}

bool PatchEditor::OnCreateConnection(PatchConnection& connection) {
  if (connection.source == connection.destination) return false;
  if (model_.IsInletTaken(*connection.destination, connection.inlet)) return false;
  const bool joined =
      engine_.ConnectContraptions(*connection.source->contraption, connection.outlet,
                                  *connection.destination->contraption, connection.inlet);
  if (joined) Changed();
  return joined;
}

bool PatchEditor::OnDeleteConnection(PatchConnection& connection) {
  engine_.DisconnectContraptions(*connection.source->contraption, connection.outlet,
                                 *connection.destination->contraption, connection.inlet);
  Changed();
  return true;
}

void PatchEditor::OnDeleteNode(PatchNode& node) {
  auto it = std::find_if(contraptions_.begin(), contraptions_.end(),
                         [&](const auto& c) { return c.get() == node.contraption; });
  if (it == contraptions_.end()) return;
  std::unique_ptr<TGardeningContraption> doomed = std::move(*it);
  contraptions_.erase(it);
  // Not under the engine lock: closing the window and stopping a stream
  // (a device stop and a thread join) would keep the audio thread waiting.
  engine_.DestroyContraption(std::move(doomed));
  if (engine_.IsAudioInRunning() && !engine_.CanStartAudioIn()) engine_.StopAudioIn();
  if (engine_.IsAudioOutRunning() && !engine_.HasSoundOut()) engine_.StopAudioOut();
  Changed();
}

}  // namespace tg
