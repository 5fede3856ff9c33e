#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/document/TGDocument.h"
#include "app/patch/PatchEditor.h"
#include "contraptions/RegisterContraptions.h"
#include "dsp/QSNoiseSource.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "engine/loading/SoundLoader.h"
#include "engine/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "framework/host/StreamUserMessages.h"
#include "framework/properties/QSBoolProperty.h"
#include "framework/properties/QSDoubleProperty.h"
#include "framework/properties/QSRangeProperty.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace {

double Decibels(double x) { return 20.0 * std::log10(std::max(x, 1e-9)); }

double Rms(const std::vector<int16_t>& samples) {
  double sum = 0.0;
  for (const int16_t s : samples) sum += (s / 32768.0) * (s / 32768.0);
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// Renders two bars of an example, optionally with one contraption silenced,
// and answers the samples.
std::vector<int16_t> RenderExample(const std::string& example, const std::string& silenced = "") {
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
  const std::string path = std::string(TONEGARDEN_SOURCE_DIR) + "/examples/" + example;
  EXPECT_TRUE(document.Open(path)) << example;
  EXPECT_TRUE(messages.Messages().empty()) << messages.Messages().front().text;
  if (!silenced.empty()) {
    TGardeningContraption* voice = factory.FindContraption(silenced);
    EXPECT_NE(voice, nullptr) << silenced;
    if (voice == nullptr) return {};
    // Silenced by its volume, or else by its mute (which waits for a bar
    // line: the render starts on one).
    QSPropertyTable& table = *voice->Processor().GetPropertyTable();
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
  SoundLoader::Instance().WaitUntilIdle();

  test::TempDir dir;
  WaveExportRequest request;
  request.fileName = dir.Path() + "take.wav";
  request.record = 2.0;  // bars
  EXPECT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  TGWaveOutFile file(request.fileName, 44100, 2, false);
  std::vector<int16_t> samples(static_cast<size_t>(file.Length()) * 2);
  file.Read(samples.data(), file.Length());
  return samples;
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
    const std::vector<int16_t> all = RenderExample(example);
    double peak = 0.0;
    for (const int16_t s : all) peak = std::max(peak, std::abs(s / 32768.0));
    const double level = Decibels(Rms(all));
    EXPECT_LT(Decibels(peak), -1.0);
    EXPECT_GT(level, -24.0);
    EXPECT_LT(level, -12.0);
    for (const std::string& voice : voices) {
      SCOPED_TRACE(voice);
      // What the voice adds is within 15 dB of the mix: it is not buried.
      const std::vector<int16_t> without = RenderExample(example, voice);
      ASSERT_EQ(without.size(), all.size());
      std::vector<int16_t> difference(all.size());
      for (size_t i = 0; i < all.size(); ++i) {
        difference[i] = static_cast<int16_t>(std::clamp(all[i] - without[i], -32768, 32767));
      }
      EXPECT_GT(Decibels(Rms(difference)), level - 15.0);
    }
  }
}

}  // namespace
}  // namespace tg
