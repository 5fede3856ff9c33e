#include "dsp/granular/GrainPan.h"

#include "dsp/Interpolation.h"
#include "dsp/QSFunctionTable.h"

namespace tg {

namespace {

constexpr int kSize = 1024;

struct PanTable {
  PanTable() : table(kSize) { table.FillPanLaw(); }
  QSFunctionTable table;
};

const QSFunctionTable& Table() {
  static const PanTable pan;
  return pan.table;
}

}  // namespace

void GrainPan::Prepare() { Table(); }

float GrainPan::Gain(double p) {
  const QSFunctionTable& t = Table();
  const double index = p * kSize;
  if (!(index >= 0.0)) return t[0];
  if (index < kSize) return QSInterpLookup(t.Data(), static_cast<float>(index));
  return t[kSize];
}

}  // namespace tg
