#include "shell/patch/StarterSettings.h"

#include <sstream>

#include "framework/TGardeningContraption.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSPropertyTable.h"

namespace tg {

namespace starter_settings {

// Two bars of sixteenths: kick on beats 1 and 3, snare on 2 and 4, the
// closed hat on every eighth.
constexpr const char* kKickSteps = "16843009";    // steps 0, 8, 16, 24
constexpr const char* kSnareSteps = "269488144";  // steps 4, 12, 20, 28
constexpr const char* kHatSteps = "1431655765";   // every even step

// One bar in A minor around A1 (MIDI 33).
constexpr const char* kBassFirstHalf = "33 33 45 33 36 33 40 33 ";
constexpr const char* kBassSecondHalf = "33 33 45 33 43 40 36 38 ";

// "S4Mixer", "P12Mixer", "M2Mixer": the mixer families with a gain per channel.
bool IsChannelMixer(std::string_view typeName) {
  if (typeName.size() < 7 || !typeName.ends_with("Mixer")) return false;
  const char family = typeName.front();
  if (family != 'S' && family != 'P' && family != 'M') return false;
  const std::string_view count = typeName.substr(1, typeName.size() - 6);
  return !count.empty() && count.find_first_not_of("0123456789") == std::string_view::npos;
}

int ChannelCount(std::string_view typeName) {
  int n = 0;
  for (char c : typeName.substr(1, typeName.size() - 6)) n = n * 10 + (c - '0');
  return n;
}

}  // namespace starter_settings

StarterSettings::StarterSettings(std::string samplesDirectory)
    : samples_(std::move(samplesDirectory)) {
  if (!samples_.empty() && samples_.back() != '/') samples_ += '/';
}

std::string StarterSettings::Sample(std::string_view fileName) const {
  return samples_ + std::string(fileName);
}

std::vector<StarterSettings::Value> StarterSettings::For(std::string_view typeName) const {
  using namespace starter_settings;
  if (typeName == "Drums") {
    std::vector<Value> values{{"Volume", "0.7"}};
    const char* kit[] = {"kick.wav", "snare.wav", "hihat-closed.wav", "hihat-open.wav", "rim.wav"};
    const char* steps[] = {kKickSteps, kSnareSteps, kHatSteps};
    for (int i = 0; i < 5; ++i) {
      const std::string n = std::to_string(i);
      if (!samples_.empty()) values.push_back({"File_" + n, Sample(kit[i])});
      values.push_back({"Volume_" + n, "0.7"});
      if (i < 3) values.push_back({"Gates_" + n, steps[i]});
    }
    return values;
  }
  if (typeName == "Bassline")
    return {{"Volume", "0.6"}, {"Notes_0", kBassFirstHalf}, {"Notes_1", kBassSecondHalf}};
  if (typeName == "LoopPlayer" && !samples_.empty())
    return {{"File", Sample("loop-drums-1bar.wav")}};
  if (typeName == "TestGen") return {{"Amplitude", "0.25"}};
  if (typeName == "10Harmonics") return {{"Gain", "0.3"}};
  if (IsChannelMixer(typeName)) {
    std::vector<Value> values{{"MasterGain", "0.8"}};
    for (int i = 0; i < ChannelCount(typeName); ++i)
      values.push_back({"Gain_" + std::to_string(i), "0.8"});
    return values;
  }
  return {};
}

bool StarterSettings::ApplyTo(TGardeningContraption& contraption) const {
  const std::vector<Value> values = For(contraption.TypeName());
  const QSPropertyTable* table = contraption.Processor().GetPropertyTable();
  if (values.empty() || table == nullptr) return false;
  bool all = true;
  for (const Value& v : values) {
    if (table->IndexOf(v.property) < 0) {
      all = false;
      continue;
    }
    QSProperty& property = table->PropertyByName(v.property);
    if (auto* text = dynamic_cast<QSCStringProperty*>(&property)) {
      // The name as it is kept: an absolute path, stored relative on saving.
      text->SetValue(v.text);
    } else {
      std::istringstream in(v.text);
      property.ReadFrom(in);
    }
  }
  return all;
}

}  // namespace tg
