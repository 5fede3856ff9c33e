#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "engine/TAudioEngineModule.h"
#include "engine/devices/PortAudioWaveDevice.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/FirstStartLatency.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/StreamSettings.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/MemorySettingsStore.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace port_audio_jack_test {

bool JackRuns() {
  jack_status_t status{};
  jack_client_t* client = jack_client_open("tonegarden-probe", JackNoStartServer, &status);
  if (client == nullptr) return false;
  jack_client_close(client);
  return true;
}

int FindJack(const std::vector<WaveDeviceInfo>& devices) {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].name.rfind("JACK", 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

class PortAudioJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackRuns()) GTEST_SKIP() << "no JACK server could be started";
    PortAudioSystem::Instance().Rescan();
  }
};

TEST_F(PortAudioJackTest, JackIsListedBeforeTheSilentDevice) {
  StandardWaveDeviceLayer layer;
  const auto outputs = layer.OutputDevices();
  ASSERT_GE(FindJack(outputs), 0);
  EXPECT_EQ(outputs.back().name, kSilentDeviceName);
  EXPECT_GE(FindJack(layer.InputDevices()), 0);
}

TEST_F(PortAudioJackTest, TheFirstStartChoosesThreeBuffersOf256FramesAndStoresThem) {
  StandardWaveDeviceLayer layer;
  // The whole first start, probes of two seconds included. A machine busy
  // with other work may miss one deadline now and then: only a larger choice
  // in every one of three tries is a fault.
  std::optional<LatencyChoice> choice;
  std::unique_ptr<MemorySettingsStore> settings;
  for (int attempt = 0; attempt < 3 && choice != LatencyChoice{3, 1024}; ++attempt) {
    settings = std::make_unique<MemorySettingsStore>();
    KWWaveOutStream out(layer);
    KWWaveInStream in(layer);
    out.SetDevice(FindJack(out.DeviceNames()));
    const auto start = std::chrono::steady_clock::now();
    choice = FirstStartLatency::OnFirstStart(*settings, out, in);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    ASSERT_TRUE(choice);
    std::printf("first start on JACK: %d x %d bytes in %lld ms\n", choice->count, choice->size,
                static_cast<long long>(ms));
    EXPECT_EQ(out.BufferSize(), choice->size);
    EXPECT_FALSE(out.IsActive());
  }
  EXPECT_EQ(choice, (LatencyChoice{3, 1024}));

  // The next start plays JACK with what was chosen, without probing.
  KWWaveOutStream out(layer);
  KWWaveInStream in(layer);
  EXPECT_FALSE(FirstStartLatency::OnFirstStart(*settings, out, in));
  LoadStreamSettings(*settings, out, in);
  EXPECT_EQ(out.Device(), FindJack(out.DeviceNames()));
  EXPECT_EQ(out.BufferCount(), 3);
  EXPECT_EQ(out.BufferSize(), 1024);
}

struct Shape {
  int count;
  int size;
};

class PortAudioJackPaceTest : public PortAudioJackTest,
                              public ::testing::WithParamInterface<Shape> {};

TEST_P(PortAudioJackPaceTest, PlaysAndCapturesAtRealTimePace) {
  const Shape shape = GetParam();
  StandardWaveDeviceLayer layer;
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  auto outStream = std::make_unique<KWWaveOutStream>(layer);
  auto inStream = std::make_unique<KWWaveInStream>(layer);
  KWWaveOutStream& out = *outStream;
  KWWaveInStream& in = *inStream;
  out.SetDevice(FindJack(out.DeviceNames()));
  in.SetDevice(FindJack(in.DeviceNames()));
  out.SetBuffers(shape.count, shape.size);
  in.SetBuffers(shape.count, std::max(shape.size, in.BufferSize()));
  TAudioEngineModule engine(factory, std::move(outStream), std::move(inStream));
  auto soundOut = factory.Create(engine, "SoundOut", "");
  auto soundIn = factory.Create(engine, "SoundIn", "");
  engine.ConnectContraptions(*soundIn, 0, *soundOut, 0);
  auto* tone = new test::TestPipe(&engine.GetContext(), 0, 1, 0.1f);
  engine.GetContext().Connect(tone, 0, &engine.SoundOutProcessor(), 1, false);

  engine.StartAudioOut();
  engine.StartAudioIn();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // settle
  // Two seconds at the device's pace, without a missed buffer. A machine
  // busy with other work may miss one deadline now and then: only a miss in
  // every one of three tries is a fault.
  int blocks = 0;
  double expected = 0.0;
  bool overloaded = true;
  for (int attempt = 0; attempt < 3 && overloaded; ++attempt) {
    const int before = tone->processCount;
    engine.TakeOverloadFlag();
    out.TakeOverload();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    blocks = tone->processCount - before;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    expected = seconds * 44100.0 / 256.0;
    overloaded = engine.TakeOverloadFlag() || out.TakeOverload();
  }
  engine.StopAudioIn();
  engine.StopAudioOut();

  EXPECT_NEAR(blocks, expected, expected * 0.1 + shape.size / 1024.0)
      << shape.count << " x " << shape.size;
  EXPECT_FALSE(overloaded) << shape.count << " x " << shape.size;
  engine.DestroyContraption(std::move(soundIn));
  engine.DestroyContraption(std::move(soundOut));
}

INSTANTIATE_TEST_SUITE_P(Buffers, PortAudioJackPaceTest,
                         ::testing::Values(Shape{2, 2048}, Shape{4, 2048}, Shape{8, 2048},
                                           Shape{2, 16384}, Shape{4, 16384}, Shape{8, 16384}),
                         [](const auto& param) {
                           return std::to_string(param.param.count) + "x" +
                                  std::to_string(param.param.size);
                         });

}  // namespace port_audio_jack_test
}  // namespace tg
