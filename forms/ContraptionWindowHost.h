#pragma once

#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "framework/ContraptionDescriptor.h"
#include "host/ContraptionWindows.h"

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
  void ShowHelp(const std::string& typeName) override {
    if (helpHandler_) helpHandler_(typeName);
  }
  void SetHelpHandler(std::function<void(const std::string&)> handler) {
    helpHandler_ = std::move(handler);
  }
  TContraptionForm* WindowOf(const TGardeningContraption& contraption) const;
  // The first place on the grid, row by row within a width, where a window
  // overlaps none of the other open windows.
  static QPoint FreePlace(const QWidget& content, const QWidget* window, int width);

 private:
  QScrollArea* pane_;
  std::map<std::string, WindowMaker> makers_;
  std::map<const TGardeningContraption*, QPointer<TContraptionForm>> open_;
  std::function<void(const std::string&)> helpHandler_;
};

// Registers the editor window of every type that has one (written by the
// build from the types' folders).
void RegisterContraptionWindows(ContraptionWindowHost& host);

}  // namespace tg
