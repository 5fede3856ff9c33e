#pragma once

namespace tg {

class TGardeningContraption;

// Hears of every user edit of a contraption (parameter, preset, window). The
// document marks itself modified from here; undo will record from here.
class EditListener {
 public:
  virtual ~EditListener() = default;
  // UI thread.
  virtual void ContraptionEdited(TGardeningContraption& contraption) = 0;
};

}  // namespace tg
