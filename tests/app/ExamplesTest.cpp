#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "dsp/QSNoiseSource.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "files/loading/SoundLoader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/StreamUserMessages.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSRangeProperty.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/SourceTree.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace examples_test {

double Decibels(double x) { return 20.0 * std::log10(std::max(x, 1e-9)); }

double Rms(const std::vector<int16_t>& samples) {
  double sum = 0.0;
  for (const int16_t s : samples) sum += (s / 32768.0) * (s / 32768.0);
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// What one render of an example changes from simply opening and playing it.
struct Take {
  double bars = 2.0;
  std::string silenced;      // turned down by its level or its mute
  std::string unplugged;     // every wire from its outlets taken away
  bool playSoundIn = false;  // two seconds of SoundIn's file through the patch
};

// A render of an example, with what the patch held.
struct Rendered {
  std::vector<int16_t> samples;
  std::vector<std::pair<std::string, std::string>> contraptions;  // name, type
};

// Silenced by its volume, or else by its mute (which waits for a bar line:
// the render starts on one).
void Silence(TGardeningContraption& voice) {
  QSPropertyTable& table = *voice.Processor().GetPropertyTable();
  if (table.IndexOf("Volume") >= 0) {
    dynamic_cast<QSDoubleProperty&>(table.PropertyByName("Volume")).SetValue(0.0);
  } else if (table.IndexOf("Gain") >= 0) {
    dynamic_cast<QSDoubleProperty&>(table.PropertyByName("Gain")).SetValue(0.0);
  } else if (table.IndexOf("Amplitude") >= 0) {
    dynamic_cast<QSRangeProperty&>(table.PropertyByName("Amplitude")).SetValue({0.0f, 0.0f});
  } else {
    dynamic_cast<QSBoolProperty&>(table.PropertyByName("Mute")).SetValue(true);
  }
}

void Unplug(PatchEditor& patch, TGardeningContraption& contraption) {
  PatchModel& model = patch.Model();
  const PatchNode* node = model.FindNode(&contraption);
  ASSERT_NE(node, nullptr);
  for (int i = model.ConnectionCount() - 1; i >= 0; --i) {
    if (model.ConnectionAt(i).source == node) patch.Disconnect(model.ConnectionAt(i));
  }
}

Rendered RenderExample(const std::string& example, const Take& take = {}) {
  QSNoiseSource::FixSeeds(1);
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  StreamUserMessages messages(nullptr);
  TAudioEngineModule engine(factory);
  engine.Host().messages = &messages;
  PatchModel model;
  PatchEditor patch(engine, model);
  test::ScriptedQueries queries;
  TGDocument document(patch, queries);
  const std::string path = test::SourceDir() + "/examples/" + example;
  EXPECT_TRUE(document.Open(path)) << example;
  EXPECT_TRUE(messages.Messages().empty()) << messages.Messages().front().text;
  Rendered rendered;
  for (const TGardeningContraption* c : factory.Contraptions()) {
    rendered.contraptions.emplace_back(c->Name(), c->TypeName());
  }
  for (const std::string& name : {take.silenced, take.unplugged}) {
    if (name.empty()) continue;
    TGardeningContraption* contraption = factory.FindContraption(name);
    EXPECT_NE(contraption, nullptr) << name;
    if (contraption == nullptr) return {};
    if (name == take.silenced) Silence(*contraption);
    if (name == take.unplugged) Unplug(patch, *contraption);
  }
  SoundLoader::Instance().WaitUntilIdle();

  test::TempDir dir;
  WaveExportRequest request;
  request.fileName = dir.Path() + "take.wav";
  request.record = take.bars;
  if (take.playSoundIn) {
    request.mode = WaveExportRequest::Mode::ProcessedSoundInFile;
    request.record = 2.0;  // seconds
    engine.SoundInProcessor().WaitForFile();
  }
  EXPECT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  TGWaveOutFile file(request.fileName, 44100, 2, false);
  rendered.samples.resize(static_cast<size_t>(file.Length()) * 2);
  file.Read(rendered.samples.data(), file.Length());
  return rendered;
}

// The level of what one render has and another has not, in dB.
double DifferenceLevel(const std::vector<int16_t>& with, const std::vector<int16_t>& without) {
  EXPECT_EQ(with.size(), without.size());
  std::vector<int16_t> difference(std::min(with.size(), without.size()));
  for (size_t i = 0; i < difference.size(); ++i) {
    difference[i] = static_cast<int16_t>(std::clamp(with[i] - without[i], -32768, 32767));
  }
  return Decibels(Rms(difference));
}

void ExpectSensibleLevels(const std::vector<int16_t>& samples, double quietest, double loudest) {
  double peak = 0.0;
  for (const int16_t s : samples) peak = std::max(peak, std::abs(s / 32768.0));
  const double level = Decibels(Rms(samples));
  EXPECT_LT(Decibels(peak), -1.0);
  EXPECT_GT(level, quietest);
  EXPECT_LT(level, loudest);
}

// The patches a new user opens first make music at a sensible level, and
// every voice in them is heard.
TEST(ExamplesTest, TheExamplesPlayEveryVoiceWithoutClipping) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> examples = {
      {"beat.tgh", {"Drums_1", "Bassline_1"}},
      {"demo.tgh", {"Drums_1", "Bassline_1", "Bassline_2"}},
      {"loops.tgh", {"LoopPlayer_1", "LoopPlayer_2", "LoopPlayer_3", "LoopPlayer_4"}},
      // Each voice through one effect: drums through the Flanger, the bass
      // through RingAM, percussion through the Phaser, chords into NastyReverb.
      {"effects.tgh", {"LoopPlayer_1", "Bassline_1", "LoopPlayer_2", "LoopPlayer_3"}},
      // Drums and chords through the Crossfader at its middle; the matrix
      // sends the percussion into 5Combs and the bass past it; SParaEQ on the sum.
      {"routing.tgh", {"LoopPlayer_1", "LoopPlayer_2", "LoopPlayer_3", "LoopPlayer_4"}},
      // A drone, a loop granulated with feedback, a sample scattered.
      {"textures.tgh", {"10Harmonics_1", "DLGranulator_1", "BubbleBlower_1"}},
  };
  for (const auto& [example, voices] : examples) {
    SCOPED_TRACE(example);
    const std::vector<int16_t> all = RenderExample(example).samples;
    ExpectSensibleLevels(all, -24.0, -12.0);
    const double level = Decibels(Rms(all));
    for (const std::string& voice : voices) {
      SCOPED_TRACE(voice);
      // What the voice adds is within 15 dB of the mix: it is not buried.
      const std::vector<int16_t> without = RenderExample(example, {.silenced = voice}).samples;
      EXPECT_GT(DifferenceLevel(all, without), level - 15.0);
    }
  }
}

// The demo shows every kind of contraption the New menu offers, and every
// one of them is heard in the mix: taking the wires from its outlets changes
// what comes out. The patterns and loops repeat within two bars, so four
// bars hear all of each.
TEST(ExamplesTest, TheDemoHearsEveryKindOfContraption) {
  const Rendered whole = RenderExample("demo.tgh", {.bars = 16.0});
  ExpectSensibleLevels(whole.samples, -22.0, -14.0);

  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  for (const auto& type : factory.Descriptors()) {
    std::vector<std::string> names;
    for (const int size : type->sizes) names.push_back(type->TypeNameFor(size));
    if (names.empty()) names.push_back(type->typeName);
    const bool used =
        std::any_of(whole.contraptions.begin(), whole.contraptions.end(), [&](const auto& c) {
          return std::find(names.begin(), names.end(), c.second) != names.end();
        });
    EXPECT_TRUE(used) << type->typeName << " is not in the demo";
  }

  const std::vector<int16_t> all = RenderExample("demo.tgh", {.bars = 4.0}).samples;
  const double level = Decibels(Rms(all));
  for (const auto& [name, type] : whole.contraptions) {
    // SoundIn is quiet until its file is played; SoundOut is where it all goes.
    if (type == "SoundIn" || type == "SoundOut") continue;
    SCOPED_TRACE(name);
    const std::vector<int16_t> without =
        RenderExample("demo.tgh", {.bars = 4.0, .unplugged = name}).samples;
    // Within 25 dB of the mix: the sine under the bass line sits low on purpose.
    EXPECT_GT(DifferenceLevel(all, without), level - 25.0);
  }

  // Played, SoundIn's file is heard through the patch.
  const std::vector<int16_t> played = RenderExample("demo.tgh", {.playSoundIn = true}).samples;
  const std::vector<int16_t> unplayed =
      RenderExample("demo.tgh", {.unplugged = "SoundIn", .playSoundIn = true}).samples;
  EXPECT_GT(DifferenceLevel(played, unplayed), -40.0);
}

}  // namespace examples_test
}  // namespace tg
