#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/TAudioEngineModule.h"
#include "engine/devices/SilentWaveDevice.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "files/loading/SoundLoader.h"
#include "files/loading/SoundSlot.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/MemorySettingsStore.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace silent_device_engine_test {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;
using test::ManualTimeSource;
using test::TestPipe;
using test::WaitUntil;

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

TEST_F(SilentDeviceEngineTest, TheClockRunsAndNeverAheadOfRealTime) {
  EXPECT_EQ(engine->OutStream().BufferSize(), 1024);
  const auto start = std::chrono::steady_clock::now();
  engine->StartPauseClock();  // starts audio out: SoundOut is placed
  ASSERT_TRUE(engine->IsAudioOutRunning());
  // One second of sound: 48 ticks at 120 beats a minute.
  ASSERT_TRUE(WaitUntil([&] { return engine->GetContext().Clock().Position() >= 48.0; }));
  const double ticks = engine->GetContext().Clock().Position();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A slow machine may fall behind, but the device never plays faster than
  // real time: at most the four primed buffers and the one being filled ahead.
  EXPECT_LE(ticks, 48.0 * (elapsed + 5 * 256 / 44100.0)) << elapsed;
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

// Plays a device as a stream would that refills at once: each completed
// buffer is written again until `buffers` have been played. Declared before
// the device, so that the device's thread ends first.
class RefillingSink final : public CompletionSink {
 public:
  explicit RefillingSink(int buffers) : left_(buffers) {}
  void Open(WaveOutDevice& device) {
    device_ = &device;
    device.Open(*this);
  }
  void BufferDone() noexcept override {
    done_.fetch_add(1);
    if (left_.fetch_sub(1) > kQueued) device_->Write(frames_.data(), kFrames);
  }
  void StopRefilling() { left_.store(0); }
  void Prime() {
    for (int i = 0; i < kQueued; ++i) device_->Write(frames_.data(), kFrames);
  }
  int Done() const { return done_.load(); }

  static constexpr int kFrames = 1024;
  static constexpr int kQueued = 4;

 private:
  WaveOutDevice* device_ = nullptr;
  std::array<int16_t, 2 * kFrames> frames_{};
  std::atomic<int> left_;
  std::atomic<int> done_{0};
};

// The schedule, in nanoseconds after it began, of the end of buffer k.
int64_t EndOfBuffer(int64_t k) {
  return (k + 1) * RefillingSink::kFrames * 1'000'000'000 / kDeviceSampleRate;
}

TEST(SilentDevicePacingTest, TwentySecondsOfBuffersEndOnScheduleThoughEveryWakeUpIsLate) {
  // Every sleep ends 2 ms late; a device that paced each buffer from its
  // wake-up would fall 2 ms behind per buffer, some 9 % here.
  ManualTimeSource time(milliseconds(2));
  const int buffers = static_cast<int>(20.0 * kDeviceSampleRate / RefillingSink::kFrames) + 1;
  RefillingSink sink(buffers);
  SilentWaveOutDevice device(time);
  sink.Open(device);
  device.Pause();
  sink.Prime();
  const auto start = time.Now();
  device.Restart();
  ASSERT_TRUE(WaitUntil([&] { return sink.Done() == buffers; }));
  device.Close();

  const auto deadlines = time.Deadlines();
  ASSERT_EQ(deadlines.size(), static_cast<size_t>(buffers));
  for (size_t k = 0; k < deadlines.size(); ++k) {
    const auto at = std::chrono::duration_cast<nanoseconds>(deadlines[k] - start).count();
    ASSERT_NEAR(static_cast<double>(at), static_cast<double>(EndOfBuffer(static_cast<int64_t>(k))),
                1.0)
        << k;
  }
  EXPECT_GE(deadlines.back() - start, seconds(20));
  EXPECT_LT(deadlines.back() - start, seconds(20) + milliseconds(24));
}

TEST(SilentDevicePacingTest, AfterAPauseALongStallOrAResetTheScheduleBeginsAgain) {
  ManualTimeSource time;
  RefillingSink sink(1000);
  SilentWaveOutDevice device(time);
  const auto buffers = [](int n) { return nanoseconds(EndOfBuffer(n - 1)); };
  auto deadline = [&](size_t k) {
    EXPECT_TRUE(WaitUntil([&] { return time.DeadlineCount() > k; })) << k;
    return time.Deadlines().at(k);
  };

  // Paused, with the buffers queued: the first one played begins the
  // schedule, however long the pause.
  time.AllowSleeps(2);
  sink.Open(device);
  device.Pause();
  sink.Prime();
  time.Advance(seconds(3));
  const auto begin = time.Now();
  device.Restart();
  EXPECT_EQ(deadline(0), begin + buffers(1));
  EXPECT_EQ(deadline(1), begin + buffers(2));
  EXPECT_EQ(deadline(2), begin + buffers(3));  // held: the machine stalls here

  // Ten seconds later the device carries on from now, rather than rushing
  // through every buffer it missed.
  time.Advance(seconds(10));
  const auto resumed = time.Now();
  time.AllowSleeps(4);
  EXPECT_EQ(deadline(3), resumed + buffers(1));
  EXPECT_EQ(deadline(4), resumed + buffers(2));

  // A reset forgets the buffers it held, and the schedule with them.
  sink.StopRefilling();
  device.Reset();
  time.Advance(seconds(1));
  const auto afterReset = time.Now();
  sink.Prime();
  EXPECT_EQ(deadline(5), afterReset + buffers(1));
  device.Close();
}

// A sound file still loading never holds up the music: the stream's fills,
// its first ones included, play on while the disk is stuck.
TEST_F(SilentDeviceEngineTest, AudioPlaysWhileASoundFileIsStillLoading) {
  std::mutex mutex;
  std::condition_variable changed;
  bool reading = false, released = false, gaveUp = false;
  SoundLoader& loader = SoundLoader::Instance();
  loader.SetReadHook([&](const std::string&) {
    std::unique_lock lock(mutex);
    reading = true;
    changed.notify_all();
    // Giving up means someone waited for the disk all that time.
    gaveUp = !changed.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
  });
  SoundSlot slot(SoundConversion::Table(100), loader);
  slot.Load("stuck.wav");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return reading; }));
  }
  engine->StartAudioOut();
  const int before = tone->processCount.load();
  const bool played = WaitUntil([&] { return tone->processCount.load() > before + 40; });
  bool stillStuck = false;
  {
    std::lock_guard lock(mutex);
    stillStuck = !released;
    released = true;
  }
  changed.notify_all();
  engine->StopAudioOut();
  loader.WaitUntilIdle();
  loader.SetReadHook(nullptr);
  EXPECT_TRUE(played && stillStuck);
  std::lock_guard lock(mutex);
  EXPECT_FALSE(gaveUp);
}

}  // namespace silent_device_engine_test
}  // namespace tg
