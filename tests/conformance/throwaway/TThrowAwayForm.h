#pragma once

#include "forms/TContraptionForm.h"
#include "framework/ContraptionDescriptor.h"

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
