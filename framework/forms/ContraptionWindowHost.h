#pragma once

#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "framework/ContraptionDescriptor.h"
#include "framework/host/ContraptionWindows.h"

class QPoint;
class QScrollArea;
class QWidget;

namespace tg {

class TContraptionForm;
class TGardeningContraption;

// Opens the editor windows of contraptions inside the properties pane. Each
// type's window maker is registered here by type name; a type without one
// has no window.
class ContraptionWindowHost final : public ContraptionWindows {
 public:
  using WindowMaker = std::function<TContraptionForm*(TGardeningContraption&, QWidget*)>;

  explicit ContraptionWindowHost(QScrollArea* pane) : pane_(pane) {}
  void Register(const std::string& typeName, WindowMaker maker) {
    makers_[typeName] = std::move(maker);
  }
  template <typename Form>
  void Register(const std::string& typeName) {
    Register(typeName, [](TGardeningContraption& c, QWidget* parent) -> TContraptionForm* {
      return new Form(c, parent);
    });
  }
  // The window of every type a descriptor describes.
  template <typename Form>
  void Register(const ContraptionDescriptor& type) {
    for (const std::string& name : type.TypeNames()) Register<Form>(name);
  }
  bool HasWindow(const std::string& typeName) const { return makers_.contains(typeName); }

  void ShowWindow(TGardeningContraption& contraption) override;
  void CloseWindow(TGardeningContraption& contraption) override;
  void RefreshWindow(TGardeningContraption& contraption) override;
  void ShowHelp(int helpNumber) override {
    lastHelp_ = helpNumber;
    if (helpHandler_) helpHandler_(helpNumber);
  }
  void SetHelpHandler(std::function<void(int)> handler) { helpHandler_ = std::move(handler); }
  TContraptionForm* WindowOf(const TGardeningContraption& contraption) const;
  // The first place on the grid, row by row within a width, where a window
  // overlaps none of the other open windows.
  static QPoint FreePlace(const QWidget& content, const QWidget* window, int width);
  int LastHelp() const { return lastHelp_; }

 private:
  QScrollArea* pane_;
  std::map<std::string, WindowMaker> makers_;
  std::map<const TGardeningContraption*, QPointer<TContraptionForm>> open_;
  int lastHelp_ = 0;
  std::function<void(int)> helpHandler_;
};

// Registers the editor window of every type that has one (written by the
// build from the types' folders).
void RegisterContraptionWindows(ContraptionWindowHost& host);

}  // namespace tg
