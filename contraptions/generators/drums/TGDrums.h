#pragma once

#include "framework/QSSignalProcessor.h"

namespace tg {

// "Drums" (being built).
class TGDrums final : public QSSignalProcessor {
 public:
  explicit TGDrums(QSDynSigContext* context);

  void Process() override;
  QSPropertyTable* GetPropertyTable() override;

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
};

}  // namespace tg
