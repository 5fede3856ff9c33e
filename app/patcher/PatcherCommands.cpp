#include "app/patcher/PatcherCommands.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>

#include "app/patcher/KWPatcherPanel.h"
#include "app/patcher/KWQuickAddPopup.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TGardeningContraption.h"
#include "shell/patch/PatchEditor.h"

namespace tg {

namespace {

std::string ClipboardText() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard == nullptr ? nullptr : clipboard->mimeData();
  if (data == nullptr) return {};
  if (data->hasFormat(PatcherCommands::kMimeType))
    return data->data(PatcherCommands::kMimeType).toStdString();
  return data->hasText() ? data->text().toStdString() : std::string();
}

int SelectedCount(const PatchModel& model) {
  int count = 0;
  for (int i = 0; i < model.NodeCount(); ++i) count += model.NodeAt(i).selected ? 1 : 0;
  return count;
}

}  // namespace

PatcherCommands::PatcherCommands(PatchEditor& patch, KWPatcherPanel& pane, Creator create,
                                 QObject* parent)
    : QObject(parent),
      patch_(patch),
      pane_(pane),
      create_(std::move(create)),
      quickAdd_(new KWQuickAddPopup(patch.Engine().Factory(), &pane)) {
  connect(quickAdd_, &KWQuickAddPopup::Chosen, this, &PatcherCommands::QuickAddChosen);
}

bool PatcherCommands::CanCopy() const { return SelectedCount(patch_.Model()) > 0; }

bool PatcherCommands::CanPaste() const {
  const std::string text = ClipboardText();
  const size_t start = text.find_first_not_of(" \t\r\n");
  return start != std::string::npos && text.compare(start, 4, ".tgh") == 0;
}

void PatcherCommands::Copy() {
  const int count = SelectedCount(patch_.Model());
  if (count == 0) {
    emit StatusMessage("Select the contraptions to copy first");
    return;
  }
  const std::string text = PatchFragment::Write(patch_.Model());
  auto* data = new QMimeData;
  data->setData(kMimeType, QByteArray::fromStdString(text));
  data->setText(QString::fromStdString(text));
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setMimeData(data);
  lastPasted_.clear();
  pastes_ = 0;
  emit StatusMessage(count == 1 ? "Copied 1 contraption"
                                : QString("Copied %1 contraptions").arg(count));
}

void PatcherCommands::Cut() {
  if (!CanCopy()) {
    emit StatusMessage("Select the contraptions to cut first");
    return;
  }
  Copy();
  patch_.Model().DeleteSelection();
  pane_.ModelChanged();
  // The first paste goes back where they were.
  lastPasted_ = ClipboardText();
  pastes_ = -1;
}

void PatcherCommands::Paste(std::optional<QPoint> at) {
  const std::string text = ClipboardText();
  if (text.empty()) {
    emit StatusMessage("The clipboard holds no text to paste");
    return;
  }
  if (!at) {
    const QPoint mouse = pane_.viewport()->mapFromGlobal(QCursor::pos());
    if (pane_.viewport()->rect().contains(mouse) && pane_.viewport()->underMouse())
      at = mouse + pane_.ScrollOffset();
  }
  PatchFragment::Placement where;
  if (at) {
    where = {true, at->x(), at->y()};
  } else {
    pastes_ = text == lastPasted_ ? pastes_ + 1 : 1;
    lastPasted_ = text;
    where = {false, kPasteStep * pastes_, kPasteStep * pastes_};
  }
  PlaceText(text, where, "Paste");
}

void PatcherCommands::Duplicate() {
  if (!CanCopy()) {
    emit StatusMessage("Select the contraptions to duplicate first");
    return;
  }
  PlaceText(PatchFragment::Write(patch_.Model()), {false, kPasteStep, kPasteStep}, "Duplicate");
}

void PatcherCommands::PlaceText(const std::string& text, PatchFragment::Placement where,
                                const std::string& verb) {
  const PatchFragment::Pasted pasted = PatchFragment::Paste(patch_, text, where, verb);
  pane_.ModelChanged();
  if (!pasted.nodes.empty()) pane_.EnsureVisible(*pasted.nodes.front());
  emit StatusMessage(QString::fromStdString(pasted.message));
}

void PatcherCommands::OpenQuickAdd(QPoint content, PatchNode* source, int outlet) {
  quickAt_ = content;
  quickSource_ = source != nullptr ? source->contraption->Name() : std::string();
  quickOutlet_ = outlet;
  quickAdd_->Open(pane_.viewport()->mapToGlobal(content - pane_.ScrollOffset()));
}

void PatcherCommands::QuickAddChosen(const QString& typeName) {
  const std::string type = typeName.toStdString();
  PatchNode* source = quickSource_.empty() ? nullptr : patch_.FindNode(quickSource_);
  if (source == nullptr) {
    create_(type, quickAt_);
    return;
  }
  PatchNode* node = nullptr;
  bool wired = false;
  patch_.AsOneCommand("New " + type + " from " + quickSource_, [&] {
    node = create_(type, quickAt_);
    if (node != nullptr && node->inletCount > 0)
      wired = patch_.Connect(*source, quickOutlet_, *node, 0) != nullptr;
  });
  pane_.ModelChanged();
  if (node != nullptr && !wired) {
    emit StatusMessage(QString::fromStdString(node->contraption->Name() + " has no inlet to wire " +
                                              quickSource_ + " to"));
  }
}

}  // namespace tg
