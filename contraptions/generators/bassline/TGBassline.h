#pragma once

#include "framework/QSSignalProcessor.h"

namespace tg {

// "Bassline" (being built).
class TGBassline final : public QSSignalProcessor {
 public:
  explicit TGBassline(QSDynSigContext* context);

  void Process() override;
  QSPropertyTable* GetPropertyTable() override;

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
};

}  // namespace tg
