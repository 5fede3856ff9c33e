#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/FirstStartLatency.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/LatencyProbe.h"
#include "engine/streams/StreamSettings.h"
#include "host/MemorySettingsStore.h"

namespace tg {
namespace first_start_latency_test {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Plays like a sound card whose hardware period is `period` frames: once a
// period it takes that many frames of the queued buffers and posts their
// completions together. A queue shorter than one period runs dry at every
// period. With period 0 the device opens but never plays; with a negative
// one it cannot be opened. Its first `stumbles` periods take everything
// queued, as a device may while it starts.
class PeriodicOutDevice final : public WaveOutDevice {
 public:
  PeriodicOutDevice(int period, int stumbles) : period_(period), stumbles_(stumbles) {}
  ~PeriodicOutDevice() override { Close(); }
  void Open(CompletionSink& sink) override {
    if (period_ < 0) throw EWaveOutError(2, "The device is not there.");
    sink_ = &sink;
    running_ = true;
    if (period_ > 0) thread_ = std::thread([this] { Run(); });
  }
  void Pause() override { paused_ = true; }
  void Restart() override { paused_ = false; }
  void Write(const int16_t*, int frameCount) override {
    std::lock_guard lock(mutex_);
    queued_.push_back(frameCount);
  }
  void Reset() override {}
  void Close() override {
    {
      std::lock_guard lock(mutex_);
      running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    const auto period = std::chrono::nanoseconds(1'000'000'000LL * period_ / kDeviceSampleRate);
    auto next = Clock::now();
    std::unique_lock lock(mutex_);
    while (running_) {
      next += period;
      if (wake_.wait_until(lock, next, [this] { return !running_; })) break;
      if (paused_) continue;
      const bool stumble = stumbles_ > 0;
      stumbles_ -= stumble ? 1 : 0;
      int frames = 0;
      while (!queued_.empty() && (frames < period_ || stumble)) {
        frames += queued_.front();
        queued_.pop_front();
        sink_->BufferDone();
      }
    }
  }

  const int period_;
  int stumbles_;
  CompletionSink* sink_ = nullptr;
  std::atomic<bool> paused_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<int> queued_;
  bool running_ = false;
  std::thread thread_;
};

class PeriodicDeviceLayer final : public WaveDeviceLayer {
 public:
  explicit PeriodicDeviceLayer(int period, int stumbles = 0)
      : period_(period), stumbles_(stumbles) {}
  std::vector<WaveDeviceInfo> OutputDevices() override { return {{"Periodic", 0}}; }
  std::vector<WaveDeviceInfo> InputDevices() override { return {}; }
  std::unique_ptr<WaveOutDevice> CreateOutput(int) override {
    return std::make_unique<PeriodicOutDevice>(period_, stumbles_);
  }
  std::unique_ptr<WaveInDevice> CreateInput(int) override { return nullptr; }

 private:
  int period_;
  int stumbles_;
};

constexpr milliseconds kShortWindow{250};

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(FirstStartLatencyTest, TakesTheSmallestSizeThatRanCleanAndNeverTriesTheLast) {
  struct Case {
    std::vector<ProbeOutcome> outcomes;  // for 1024, 2048, 4096 in turn
    int chosen;
    size_t tried;
  };
  using O = ProbeOutcome;
  const Case cases[] = {
      {{O::Clean}, 1024, 1},
      {{O::Overloaded, O::Clean}, 2048, 2},
      {{O::Stalled, O::Overloaded, O::Clean}, 4096, 3},
      {{O::Overloaded, O::Overloaded, O::Overloaded}, 16384, 3},
      {{O::Stalled, O::Stalled, O::Stalled}, 16384, 3},
  };
  for (const Case& c : cases) {
    std::vector<int> sizes;
    const FirstStartLatency chooser([&](int count, int size) {
      EXPECT_EQ(count, 3);
      sizes.push_back(size);
      return c.outcomes.at(sizes.size() - 1);
    });
    EXPECT_EQ(chooser.Choose(), (LatencyChoice{3, c.chosen}));
    EXPECT_EQ(sizes.size(), c.tried) << c.chosen;
  }
}

TEST(LatencyProbeTest, TheSilentDeviceRunsThreeBuffersOf256FramesForTheWholeWindow) {
  SilentWaveDeviceLayer layer;
  KWWaveOutStream out(layer);
  const LatencyProbe probe(kShortWindow);
  const auto start = Clock::now();
  EXPECT_EQ(probe.Run(out, 3, 1024), ProbeOutcome::Clean);
  // The window follows the device's pace: it cannot end before it has played.
  EXPECT_GE(SecondsSince(start), 0.25);
  EXPECT_FALSE(out.IsActive());
  EXPECT_EQ(out.BufferCount(), 3);
  EXPECT_EQ(out.BufferSize(), 1024);
  // The stream is handed back without the probe's fill handler: it plays on.
  out.Start();
  out.Stop();
}

TEST(LatencyProbeTest, ADeviceWithALongerPeriodThanTheQueueOverloads) {
  PeriodicDeviceLayer layer(1024);  // 23 ms a period
  KWWaveOutStream out(layer);
  const LatencyProbe probe(kShortWindow);
  EXPECT_EQ(probe.Run(out, 3, 1024), ProbeOutcome::Overloaded);  // 768 frames queued
  EXPECT_EQ(probe.Run(out, 3, 2048), ProbeOutcome::Clean);       // 1536
  EXPECT_FALSE(out.IsActive());
}

TEST(LatencyProbeTest, AStumbleWhileTheStreamStartsIsForgiven) {
  PeriodicDeviceLayer layer(1024, 1);
  KWWaveOutStream out(layer);
  const LatencyProbe probe(milliseconds(800));  // settles for 100 ms: four periods
  EXPECT_EQ(probe.Run(out, 3, 2048), ProbeOutcome::Clean);
}

TEST(LatencyProbeTest, ADeviceThatNeverStartsIsGivenUpOnInTime) {
  PeriodicDeviceLayer layer(0);
  KWWaveOutStream out(layer);
  const LatencyProbe probe(kShortWindow);
  const auto start = Clock::now();
  EXPECT_EQ(probe.Run(out, 3, 1024), ProbeOutcome::Stalled);
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, probe.Patience().count() / 1000.0 * 0.9);
  EXPECT_LT(seconds, probe.Patience().count() / 1000.0 + 2.0);
  EXPECT_FALSE(out.IsActive());
}

class FirstStartTest : public ::testing::Test {
 protected:
  // What the next start of the program reads back.
  static LatencyChoice Reloaded(WaveDeviceLayer& layer, const SettingsStore& settings) {
    KWWaveOutStream out(layer);
    KWWaveInStream in(layer);
    LoadStreamSettings(settings, out, in);
    return {out.BufferCount(), out.BufferSize()};
  }
  MemorySettingsStore settings;
};

TEST_F(FirstStartTest, TheSilentDeviceGetsThreeBuffersOf256FramesStoredAtOnce) {
  SilentWaveDeviceLayer layer;
  KWWaveOutStream out(layer);
  KWWaveInStream in(layer);
  const auto choice =
      FirstStartLatency::OnFirstStart(settings, out, in, LatencyProbe(kShortWindow));
  ASSERT_TRUE(choice);
  EXPECT_EQ(*choice, (LatencyChoice{3, 1024}));
  EXPECT_EQ((LatencyChoice{out.BufferCount(), out.BufferSize()}), *choice);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferSize"), 1024);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferCount"), 3);
  EXPECT_EQ(settings.ReadInt("0.7/InStream", "BufferSize"), 16384);  // input untouched
  EXPECT_EQ(Reloaded(layer, settings), *choice);

  // Later starts keep what is stored, even what the user chose since.
  settings.WriteInt("0.7/OutStream", "BufferSize", 8192);
  KWWaveOutStream later(layer);
  const auto start = Clock::now();
  EXPECT_FALSE(FirstStartLatency::OnFirstStart(settings, later, in, LatencyProbe(kShortWindow)));
  EXPECT_LT(SecondsSince(start), 0.2);   // no probe
  EXPECT_EQ(later.BufferSize(), 16384);  // untouched: the engine loads the settings
  EXPECT_EQ(Reloaded(layer, settings), (LatencyChoice{3, 8192}));
}

TEST_F(FirstStartTest, ADeviceThatFallsBehindAtTheSmallestSizeGetsTheNextLarger) {
  PeriodicDeviceLayer layer(1024);
  KWWaveOutStream out(layer);
  KWWaveInStream in(layer);
  const auto choice =
      FirstStartLatency::OnFirstStart(settings, out, in, LatencyProbe(kShortWindow));
  ASSERT_TRUE(choice);
  EXPECT_EQ(*choice, (LatencyChoice{3, 2048}));
  EXPECT_EQ(Reloaded(layer, settings), *choice);
}

TEST_F(FirstStartTest, ADeviceThatNeverStartsEndsWithTheLargestSizeInBoundedTime) {
  PeriodicDeviceLayer layer(0);
  KWWaveOutStream out(layer);
  KWWaveInStream in(layer);
  const LatencyProbe probe(kShortWindow);
  const auto start = Clock::now();
  const auto choice = FirstStartLatency::OnFirstStart(settings, out, in, probe);
  EXPECT_LT(SecondsSince(start), 3 * (probe.Patience().count() / 1000.0 + 1.0));
  ASSERT_TRUE(choice);
  EXPECT_EQ(*choice, (LatencyChoice{3, 16384}));
  EXPECT_EQ(Reloaded(layer, settings), *choice);
}

TEST_F(FirstStartTest, ADeviceThatCannotOpenLeavesEverythingForTheNextStart) {
  PeriodicDeviceLayer layer(-1);
  KWWaveOutStream out(layer);
  KWWaveInStream in(layer);
  EXPECT_FALSE(FirstStartLatency::OnFirstStart(settings, out, in, LatencyProbe(kShortWindow)));
  EXPECT_EQ(settings.Size(), 0u);
  EXPECT_EQ(out.BufferCount(), 4);
  EXPECT_EQ(out.BufferSize(), 16384);
  EXPECT_FALSE(out.IsActive());
}

}  // namespace first_start_latency_test
}  // namespace tg
