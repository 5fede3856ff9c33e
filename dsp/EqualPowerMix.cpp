#include "dsp/EqualPowerMix.h"

#include <algorithm>
#include <cmath>

namespace tg {

void EqualPowerMix::Recompute(double mix) {
  // A document may hold any number; past 1e38 the float below is infinite and
  // the coefficients NaN, which would silence everything downstream.
  mix = std::isnan(mix) ? 0.0 : std::clamp(mix, 0.0, 1.0);
  // The constants are the program's own, not pi/2, pi/4 and sqrt(1/2).
  const double theta = static_cast<double>(static_cast<float>(mix)) * 1.5708 - 0.785398;
  k0_ = static_cast<float>((std::cos(theta) + std::sin(theta)) * 0.707);
  k1_ = static_cast<float>((std::cos(theta) - std::sin(theta)) * 0.707);
  if (!set_) NextBlock();
  set_ = true;
}

}  // namespace tg
