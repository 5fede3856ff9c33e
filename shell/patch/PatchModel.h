#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tg {

class TGardeningContraption;
struct PatchConnection;

// One box of the patcher pane: a contraption at a place.
struct PatchNode {
  int x = 0;
  int y = 0;
  std::string caption;
  int inletCount = 0;
  int outletCount = 0;
  TGardeningContraption* contraption = nullptr;  // the owner's; never freed here
  bool selected = false;
  std::vector<PatchConnection*> connections;  // those that touch this node
};

// One wire, from an outlet to an inlet.
struct PatchConnection {
  PatchNode* source = nullptr;
  int outlet = 0;
  PatchNode* destination = nullptr;
  int inlet = 0;
  bool selected = false;
};

// What the patcher pane holds, without any window: nodes in stacking order,
// connections in order of creation, the pane's layout and a flag for
// changes made outside the edit history.
// Structural changes are reported to a listener, which may refuse new and
// deleted connections. UI thread only.
class PatchModel {
 public:
  class Listener {
   public:
    virtual ~Listener() = default;
    // False refuses the connection.
    virtual bool OnCreateConnection(PatchConnection& connection) = 0;
    // False keeps the connection.
    virtual bool OnDeleteConnection(PatchConnection& connection) = 0;
    virtual void OnDeleteNode(PatchNode& node) = 0;
    // Around a deletion of several things, which the user sees as one edit.
    virtual void OnEditBegins() {}
    virtual void OnEditEnds() {}
  };

  static constexpr int kDefaultPaneWidth = 180;

  PatchModel() = default;
  PatchModel(const PatchModel&) = delete;
  PatchModel& operator=(const PatchModel&) = delete;
  ~PatchModel();

  void SetListener(Listener* listener) { listener_ = listener; }

  // Appends a node on top, selected alone.
  PatchNode& AddNode(int x, int y, std::string caption, int inlets, int outlets,
                     TGardeningContraption* contraption);
  // Adds a connection without asking the listener (the document reader does).
  PatchConnection& AddConnection(PatchNode& source, int outlet, PatchNode& destination, int inlet);
  // Adds a connection the user made, if the listener agrees; null when refused.
  PatchConnection* CreateConnection(PatchNode& source, int outlet, PatchNode& destination,
                                    int inlet);
  void DeleteConnection(PatchConnection& connection);
  // Deletes the node's connections, then the node (the listener hears of each).
  void DeleteNode(PatchNode& node);
  // Deletes every node and with it every connection.
  void Clear();
  void DeleteSelection();
  void SelectAll();
  void ClearSelection();
  // Moves a node to the end of the list: drawn last, on top.
  void BringToFront(PatchNode& node);
  // Moves a node or a connection to a position of its list (undo puts it
  // back where it was; a position past the end means the end).
  void MoveNodeTo(PatchNode& node, int index);
  void MoveConnectionTo(PatchConnection& connection, int index);
  int IndexOf(const PatchNode& node) const;
  int IndexOf(const PatchConnection& connection) const;

  int NodeCount() const { return static_cast<int>(nodes_.size()); }
  PatchNode& NodeAt(int i) const { return *nodes_[static_cast<size_t>(i)]; }
  int ConnectionCount() const { return static_cast<int>(connections_.size()); }
  PatchConnection& ConnectionAt(int i) const { return *connections_[static_cast<size_t>(i)]; }
  // The first node (in node order) of a contraption, or null.
  PatchNode* FindNode(const TGardeningContraption* contraption) const;
  // Whether a connection of the pane already ends at that inlet.
  bool IsInletTaken(const PatchNode& node, int inlet) const;

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  int PaneWidth() const { return paneWidth_; }
  void SetPaneWidth(int width) { paneWidth_ = width; }
  bool PatcherShown() const { return patcherShown_; }
  void SetPatcherShown(bool shown) { patcherShown_ = shown; }
  bool PropertiesShown() const { return propertiesShown_; }
  void SetPropertiesShown(bool shown) { propertiesShown_ = shown; }

 private:
  void Detach(PatchConnection& connection);

  std::vector<std::unique_ptr<PatchNode>> nodes_;
  std::vector<std::unique_ptr<PatchConnection>> connections_;
  Listener* listener_ = nullptr;
  bool modified_ = false;
  int paneWidth_ = kDefaultPaneWidth;
  bool patcherShown_ = true;
  bool propertiesShown_ = true;
};

}  // namespace tg
