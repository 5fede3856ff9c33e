#include "shell/patch/PatchModel.h"

#include <algorithm>

namespace tg {

PatchModel::~PatchModel() {
  // The owner clears the model while the contraptions still exist; whatever
  // is left goes without telling anybody.
  listener_ = nullptr;
}

PatchNode& PatchModel::AddNode(int x, int y, std::string caption, int inlets, int outlets,
                               TGardeningContraption* contraption) {
  for (auto& n : nodes_) n->selected = false;
  auto node = std::make_unique<PatchNode>();
  node->x = x;
  node->y = y;
  node->caption = std::move(caption);
  node->inletCount = inlets;
  node->outletCount = outlets;
  node->contraption = contraption;
  node->selected = true;
  nodes_.push_back(std::move(node));
  return *nodes_.back();
}

PatchConnection& PatchModel::AddConnection(PatchNode& source, int outlet, PatchNode& destination,
                                           int inlet) {
  auto c = std::make_unique<PatchConnection>();
  c->source = &source;
  c->outlet = outlet;
  c->destination = &destination;
  c->inlet = inlet;
  source.connections.push_back(c.get());
  if (&destination != &source) destination.connections.push_back(c.get());
  connections_.push_back(std::move(c));
  return *connections_.back();
}

PatchConnection* PatchModel::CreateConnection(PatchNode& source, int outlet, PatchNode& destination,
                                              int inlet) {
  PatchConnection proposed{&source, outlet, &destination, inlet, false};
  if (listener_ != nullptr && !listener_->OnCreateConnection(proposed)) return nullptr;
  return &AddConnection(source, outlet, destination, inlet);
}

void PatchModel::Detach(PatchConnection& connection) {
  for (PatchNode* node : {connection.source, connection.destination}) {
    auto& list = node->connections;
    list.erase(std::remove(list.begin(), list.end(), &connection), list.end());
  }
}

void PatchModel::DeleteConnection(PatchConnection& connection) {
  if (listener_ != nullptr && !listener_->OnDeleteConnection(connection)) return;
  Detach(connection);
  auto it = std::find_if(connections_.begin(), connections_.end(),
                         [&](const auto& c) { return c.get() == &connection; });
  if (it != connections_.end()) connections_.erase(it);
}

void PatchModel::DeleteNode(PatchNode& node) {
  if (listener_ != nullptr) listener_->OnEditBegins();
  while (!node.connections.empty()) {
    const size_t before = node.connections.size();
    DeleteConnection(*node.connections.back());
    if (node.connections.size() == before)
      Detach(*node.connections.back());  // kept by the listener: cut loose
  }
  if (listener_ != nullptr) listener_->OnDeleteNode(node);
  auto it =
      std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& n) { return n.get() == &node; });
  if (it != nodes_.end()) nodes_.erase(it);
  if (listener_ != nullptr) listener_->OnEditEnds();
}

void PatchModel::Clear() {
  for (auto& n : nodes_) n->selected = false;
  for (auto& c : connections_) c->selected = false;
  while (!nodes_.empty()) DeleteNode(*nodes_.back());
  connections_.clear();
}

void PatchModel::DeleteSelection() {
  if (listener_ != nullptr) listener_->OnEditBegins();
  for (int i = ConnectionCount() - 1; i >= 0; --i) {
    if (ConnectionAt(i).selected) DeleteConnection(ConnectionAt(i));
  }
  for (int i = NodeCount() - 1; i >= 0; --i) {
    if (NodeAt(i).selected) DeleteNode(NodeAt(i));
  }
  if (listener_ != nullptr) listener_->OnEditEnds();
}

void PatchModel::SelectAll() {
  for (auto& n : nodes_) n->selected = true;
}

void PatchModel::ClearSelection() {
  for (auto& n : nodes_) n->selected = false;
  for (auto& c : connections_) c->selected = false;
}

void PatchModel::BringToFront(PatchNode& node) {
  auto it =
      std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& n) { return n.get() == &node; });
  if (it == nodes_.end() || it + 1 == nodes_.end()) return;
  std::unique_ptr<PatchNode> moved = std::move(*it);
  nodes_.erase(it);
  nodes_.push_back(std::move(moved));
}

namespace {

template <typename T>
void MoveTo(std::vector<std::unique_ptr<T>>& list, const T& item, int index) {
  auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == &item; });
  if (it == list.end()) return;
  std::unique_ptr<T> moved = std::move(*it);
  list.erase(it);
  const size_t at = std::min(static_cast<size_t>(std::max(index, 0)), list.size());
  list.insert(list.begin() + static_cast<long>(at), std::move(moved));
}

template <typename T>
int IndexIn(const std::vector<std::unique_ptr<T>>& list, const T& item) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].get() == &item) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void PatchModel::MoveNodeTo(PatchNode& node, int index) { MoveTo(nodes_, node, index); }
void PatchModel::MoveConnectionTo(PatchConnection& connection, int index) {
  MoveTo(connections_, connection, index);
}
int PatchModel::IndexOf(const PatchNode& node) const { return IndexIn(nodes_, node); }
int PatchModel::IndexOf(const PatchConnection& connection) const {
  return IndexIn(connections_, connection);
}

PatchNode* PatchModel::FindNode(const TGardeningContraption* contraption) const {
  for (const auto& n : nodes_) {
    if (n->contraption == contraption) return n.get();
  }
  return nullptr;
}

bool PatchModel::IsInletTaken(const PatchNode& node, int inlet) const {
  return std::any_of(connections_.begin(), connections_.end(),
                     [&](const auto& c) { return c->destination == &node && c->inlet == inlet; });
}

}  // namespace tg
