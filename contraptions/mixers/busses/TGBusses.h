#pragma once

#include "framework/QSSignalProcessor.h"

namespace tg {

// A mono buss: the exact sum of its connected inlets.
class TGMonoBuss final : public QSSignalProcessor {
 public:
  TGMonoBuss(QSDynSigContext* context, int inlets);
  void Process() override;

 private:
  QSSignal out_;
};

// A stereo buss: the exact sum of its connected pairs (inlets 2k, 2k + 1); a
// pair with one inlet connected sends it to both sides.
class TGStereoBuss final : public QSSignalProcessor {
 public:
  TGStereoBuss(QSDynSigContext* context, int pairs);
  void Process() override;

 private:
  QSSignal left_, right_;
};

}  // namespace tg
