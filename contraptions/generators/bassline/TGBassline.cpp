#include "contraptions/generators/bassline/TGBassline.h"

#include <algorithm>

namespace tg {

TGBassline::TGBassline(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
  SetOutletSignal(0, &out_);
}

QSPropertyTable* TGBassline::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [](auto&) {});
}

void TGBassline::Process() { std::fill_n(out_.Data(), kBlockSize, 0.0f); }

}  // namespace tg
