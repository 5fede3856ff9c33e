#include "properties/QSPropertyUnits.h"

namespace tg {

bool QSFrequencyUnits::IsFrequency() const { return true; }
bool QSVolumeUnits::IsFrequency() const { return false; }
bool QSGainUnits::IsFrequency() const { return false; }
bool QSAbstractUnits::IsFrequency() const { return false; }
bool QSFractionUnits::IsFrequency() const { return false; }
bool QSTimeMillisecondsUnits::IsFrequency() const { return false; }
bool QSTimeSecondsUnits::IsFrequency() const { return false; }
bool QSPanningUnits::IsFrequency() const { return false; }
bool QSTranspositionUnits::IsFrequency() const { return false; }

}  // namespace tg
