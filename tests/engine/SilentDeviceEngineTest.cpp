#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "contraptions/RegisterContraptions.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "framework/host/MemorySettingsStore.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace {

using test::TestPipe;

// The engine on real streams over the silent device, which keeps real time.
class SilentDeviceEngineTest : public ::testing::Test {
 protected:
  SilentDeviceEngineTest() {
    RegisterContraptionTypes(factory);
    settings.WriteInt("0.7/OutStream", "BufferCount", 4);
    settings.WriteInt("0.7/OutStream", "BufferSize", 1024);
    settings.WriteInt("0.7/InStream", "BufferCount", 4);
    settings.WriteInt("0.7/InStream", "BufferSize", 1024);
    engine =
        std::make_unique<TAudioEngineModule>(factory, std::make_unique<KWWaveOutStream>(layer),
                                             std::make_unique<KWWaveInStream>(layer), &settings);
    soundOut = factory.Create(*engine, "SoundOut", "");
    soundIn = factory.Create(*engine, "SoundIn", "");
    engine->AttachContraption(*soundOut);
    engine->AttachContraption(*soundIn);
    tone = new TestPipe(nullptr, 1, 1, 0.25f);
    tone->SetContext(&engine->GetContext());
    engine->GetContext().Connect(tone, 0, &engine->SoundOutProcessor(), 0, false);
    engine->ConnectContraptions(*soundIn, 0, *soundOut, 1);
  }
  ~SilentDeviceEngineTest() override {
    engine->StopAudioIn();
    engine->StopAudioOut();
    engine->DestroyContraption(std::move(soundIn));
    engine->DestroyContraption(std::move(soundOut));
  }

  SilentWaveDeviceLayer layer;
  MemorySettingsStore settings;
  TContraptionFactory factory;
  std::unique_ptr<TAudioEngineModule> engine;
  std::unique_ptr<TGardeningContraption> soundOut, soundIn;
  TestPipe* tone = nullptr;
};

TEST_F(SilentDeviceEngineTest, ClockKeepsRealTime) {
  EXPECT_EQ(engine->OutStream().BufferSize(), 1024);
  engine->StartPauseClock();  // starts audio out: SoundOut is placed
  ASSERT_TRUE(engine->IsAudioOutRunning());
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double ticks = engine->GetContext().Clock().Position();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // 48 ticks a second at 120 beats a minute; the queue runs up to four buffers ahead.
  EXPECT_NEAR(ticks, 48.0 * seconds, 48.0 * 0.1) << seconds;
  EXPECT_GT(tone->processCount, 100);
  const auto meters = engine->GetMeters();
  EXPECT_NEAR(meters.outputLeft, 0.25f * 32767 / 32765, 0.001f);
  EXPECT_EQ(engine->DisplayDelay(), static_cast<int>(1 * (4 - 2 + 0.5)));
}

TEST_F(SilentDeviceEngineTest, StartingAndStoppingHundredsOfTimes) {
  auto& out = static_cast<KWWaveOutStream&>(engine->OutStream());
  for (int round = 0; round < 200; ++round) {
    out.SetRampEnds(round % 2 == 0);
    engine->StartAudioOut();
    if (round % 3 == 0) engine->StartAudioIn();
    if (round % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(8));
    if (round % 5 == 0) engine->GetMeters();
    if (round % 3 == 0) engine->StopAudioIn();
    engine->StopAudioOut();
    ASSERT_FALSE(engine->IsAudioOutRunning());
  }
  EXPECT_GT(tone->processCount, 200 * 4);  // every start primed four buffers
}

TEST_F(SilentDeviceEngineTest, SettingsAreStoredWhenTheEngineGoes) {
  auto& out = static_cast<KWWaveOutStream&>(engine->OutStream());
  out.SetBuffers(3, 2048);
  engine->DestroyContraption(std::move(soundIn));
  engine->DestroyContraption(std::move(soundOut));
  engine.reset();
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferCount"), 3);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferSize"), 2048);
  EXPECT_EQ(settings.ReadString("0.7/OutStream", "DeviceName"), "Silent (no sound card)");
  // Recreate something for the fixture's teardown.
  engine = std::make_unique<TAudioEngineModule>(factory);
  soundOut = factory.Create(*engine, "SoundOut", "");
  soundIn = factory.Create(*engine, "SoundIn", "");
}

}  // namespace
}  // namespace tg
