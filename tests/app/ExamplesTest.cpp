#include <gtest/gtest.h>

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
#include "framework/properties/QSDoubleProperty.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace {

struct Levels {
  double peak = 0.0;  // full scale 1
  double rms = 0.0;
};

double Decibels(double x) { return 20.0 * std::log10(std::max(x, 1e-9)); }

// Renders two bars of an example, optionally with one contraption's
// "Volume" at 0, and answers the levels of the result.
Levels RenderExample(const std::string& example, const std::string& silenced = "") {
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
    auto& volume = dynamic_cast<QSDoubleProperty&>(
        voice->Processor().GetPropertyTable()->PropertyByName("Volume"));
    volume.SetValue(0.0);
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
  Levels levels;
  double sum = 0.0;
  for (const int16_t s : samples) {
    const double x = s / 32768.0;
    levels.peak = std::max(levels.peak, std::abs(x));
    sum += x * x;
  }
  levels.rms = samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
  return levels;
}

// The patches a new user opens first make music at a sensible level, and
// every voice in them is heard.
TEST(ExamplesTest, TheBeatAndTheDemoPlayEveryVoiceWithoutClipping) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> examples = {
      {"beat.tgh", {"Drums_1", "Bassline_1"}},
      {"demo.tgh", {"Drums_1", "Bassline_1", "Bassline_2"}},
  };
  for (const auto& [example, voices] : examples) {
    SCOPED_TRACE(example);
    const Levels all = RenderExample(example);
    EXPECT_LT(Decibels(all.peak), -1.0);
    EXPECT_GT(Decibels(all.rms), -24.0);
    EXPECT_LT(Decibels(all.rms), -12.0);
    for (const std::string& voice : voices) {
      SCOPED_TRACE(voice);
      // Without it the patch is clearly quieter: it is not buried in the mix.
      EXPECT_LT(Decibels(RenderExample(example, voice).rms), Decibels(all.rms) - 0.5);
    }
  }
}

}  // namespace
}  // namespace tg
