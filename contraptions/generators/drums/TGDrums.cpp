#include "contraptions/generators/drums/TGDrums.h"

#include <algorithm>

namespace tg {

TGDrums::TGDrums(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
  SetOutletSignal(0, &out_);
}

QSPropertyTable* TGDrums::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [](auto&) {});
}

void TGDrums::Process() { std::fill_n(out_.Data(), kBlockSize, 0.0f); }

}  // namespace tg
