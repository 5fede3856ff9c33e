#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <optional>
#include <string>

#include "shell/document/PatchFragment.h"

namespace tg {

class KWPatcherPanel;
class KWQuickAddPopup;
class PatchEditor;
struct PatchNode;

// What the patcher pane's Cut, Copy, Paste and Duplicate do, and the
// quick-add field: the selected contraptions go to the clipboard as
// document text (a type of our own and plain text), pastes come back as one
// undoable command each. UI thread only.
class PatcherCommands final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kMimeType = "application/x-tonegarden-patch";
  // Shift of each further paste of the same text, and of a duplicate.
  static constexpr int kPasteStep = 20;
  // The program's one way to make a new contraption of a type at a content
  // point of the pane (the New menu's too).
  using Creator = std::function<PatchNode*(const std::string& typeName, QPoint content)>;

  PatcherCommands(PatchEditor& patch, KWPatcherPanel& pane, Creator create, QObject* parent);

  bool CanCopy() const;
  // Whether the clipboard holds text that looks like contraptions.
  bool CanPaste() const;
  void Copy();
  void Cut();
  // The group's top-left corner at a content point; without one, at the
  // mouse when it is over the pane, else shifted from where the text puts it.
  void Paste(std::optional<QPoint> at = std::nullopt);
  void Duplicate();
  // Offers the types for a new contraption at a content point, wired from a
  // source's outlet to its first inlet when a source is given.
  void OpenQuickAdd(QPoint content, PatchNode* source, int outlet);
  KWQuickAddPopup& QuickAdd() const { return *quickAdd_; }

 signals:
  void StatusMessage(const QString& text);

 private:
  void PlaceText(const std::string& text, PatchFragment::Placement where, const std::string& verb);
  void QuickAddChosen(const QString& typeName);

  PatchEditor& patch_;
  KWPatcherPanel& pane_;
  Creator create_;
  KWQuickAddPopup* quickAdd_;
  // Pasting one text again and again fans the copies out.
  std::string lastPasted_;
  int pastes_ = 0;
  // Where the quick-add field was opened, and the outlet it wires from.
  QPoint quickAt_;
  std::string quickSource_;
  int quickOutlet_ = -1;
};

}  // namespace tg
