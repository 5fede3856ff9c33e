#pragma once

#include "framework/ContraptionDescriptor.h"
#include "framework/forms/TContraptionForm.h"

namespace tg {
class ContraptionWindowHost;
}

namespace tg::test {

class TThrowAwayForm final : public TContraptionForm {
 public:
  TThrowAwayForm(TGardeningContraption& contraption, QWidget* parent);
};

void RegisterThrowAwayWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type);

}  // namespace tg::test
