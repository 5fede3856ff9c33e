#pragma once

#include <string>

namespace tg {

class TGardeningContraption;

// What a contraption asks of the windowing program around it. Headless, no
// window opens and there is no help to show.
class ContraptionWindows {
 public:
  virtual ~ContraptionWindows() = default;
  // UI thread: opens or raises the contraption's editor window.
  virtual void ShowWindow(TGardeningContraption& contraption) = 0;
  // UI thread: closes it, if open (the contraption is going away).
  virtual void CloseWindow(TGardeningContraption& contraption) = 0;
  // UI thread: an open window shows the contraption's values and takes the
  // place its window state holds (undo changed them).
  virtual void RefreshWindow(TGardeningContraption&) {}
  // UI thread: shows the help page of a type (by name, since several types
  // have no help number).
  virtual void ShowHelp(const std::string& typeName) = 0;
};

}  // namespace tg
