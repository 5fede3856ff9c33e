#include "contraptions/io/soundout/OutputLevelMessage.h"

#include <algorithm>
#include <cmath>

#include "properties/NumberText.h"

namespace tg {

std::string ClippedMessage(uint64_t samples, float peak) {
  std::string text =
      std::to_string(samples) + (samples == 1 ? " sample clipped" : " samples clipped");
  if (!(peak > 0.0f)) return text + " (silence)";
  const std::string db = numbertext::Fixed(20.0 * std::log10(static_cast<double>(peak)), 1);
  // A peak that rounds to 0.0 from below reads "-0.0", never as over full scale.
  return text + " (peak " + (db.front() == '-' ? db : "+" + db) + " dBFS)";
}

std::string LimitedMessage(uint64_t frames, float lowestGain) {
  if (frames == 0) return {};
  const double db = -20.0 * std::log10(static_cast<double>(std::max(lowestGain, 1e-10f)));
  return "the limiter turned " + std::to_string(frames) + (frames == 1 ? " frame" : " frames") +
         " down, by up to " + numbertext::Fixed(db, 1) + " dB";
}

}  // namespace tg
