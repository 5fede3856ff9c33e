#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/TAudioEngineModule.h"
#include "engine/streams/FillLoadMeter.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/StreamSettings.h"
#include "framework/TContraptionFactory.h"
#include "host/MemorySettingsStore.h"
#include "tests/support/ManualWaveDevice.h"

namespace tg {
namespace wave_stream_test {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using test::ManualTimeSource;
using test::ManualWaveDeviceLayer;
using test::PlayNext;
using test::WaitUntil;

// How long a buffer of this many frames plays, in nanoseconds.
double BufferNanos(int frames) { return frames * 1e9 / kDeviceSampleRate; }

class WaveOutStreamTest : public ::testing::Test {
 protected:
  WaveOutStreamTest() {
    stream.SetBuffers(4, 1024);  // 256 frames
    stream.SetOnFillBuffer([this](int16_t* buffer, int frames) {
      {
        std::lock_guard lock(layer.out.mutex);
        layer.out.events.push_back("fill");
      }
      fills.fetch_add(1);
      std::fill(buffer, buffer + frames * 2, value.load());
    });
  }
  ~WaveOutStreamTest() override {
    // Whatever a test left running ends with the device still answering.
    std::atomic<bool> done{false};
    std::thread player([&] {
      while (!done) {
        PlayNext(layer.out);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    });
    stream.Stop();
    done = true;
    player.join();
  }
  size_t Played() {
    std::lock_guard lock(layer.out.mutex);
    return layer.out.played.size();
  }
  std::vector<int16_t> PlayedAt(size_t i) {
    std::lock_guard lock(layer.out.mutex);
    return layer.out.played.at(i);
  }
  // Stream stopped: from now on each fill takes what FillsTake said, on the
  // stream's clock, and no real time.
  void TimeFillsByTheTestClock() {
    stream.SetOnFillBuffer([this](int16_t*, int) {
      time.Advance(nanoseconds(fillNanos.load()));
      fills.fetch_add(1);
    });
  }
  void FillsTake(nanoseconds fill) { fillNanos = fill.count(); }
  // Plays buffers one at a time, each refilled before the next plays.
  void PlayAndRefill(int buffers) {
    for (int i = 0; i < buffers; ++i) {
      const int before = fills.load();
      ASSERT_TRUE(PlayNext(layer.out));
      ASSERT_TRUE(WaitUntil([&] { return fills.load() == before + 1; }));
    }
  }
  // Waits for the load of the fills just made (recorded after the fill).
  bool LoadBecomes(double expected) {
    return WaitUntil([&] { return std::abs(stream.CpuLoad() - expected) < 1e-9; });
  }

  ManualWaveDeviceLayer layer;
  ManualTimeSource time;
  KWWaveOutStream stream{layer, time};
  std::atomic<int16_t> value{10000};
  std::atomic<int> fills{0};
  std::atomic<int64_t> fillNanos{0};
};

TEST_F(WaveOutStreamTest, BufferSettingsAreClampedAndRounded) {
  KWWaveOutStream s(layer);
  EXPECT_EQ(s.BufferCount(), 4);
  EXPECT_EQ(s.BufferSize(), 16384);
  EXPECT_EQ(s.BufferDurationMs(), 93);
  s.SetBufferCount(0);
  EXPECT_EQ(s.BufferCount(), 1);
  s.SetBufferCount(20);
  EXPECT_EQ(s.BufferCount(), 16);
  // Whole blocks of 256 frames: a part block would be left unwritten, or
  // read past the buffer's end.
  s.SetBufferSize(3000);
  EXPECT_EQ(s.BufferSize(), 2048);
  s.SetBufferSize(1500);
  EXPECT_EQ(s.BufferSize(), 1024);
  s.SetBufferSize(100);
  EXPECT_EQ(s.BufferSize(), 1024);
}

TEST_F(WaveOutStreamTest, DeviceIndexRules) {
  EXPECT_EQ(stream.DeviceCount(), 2);
  EXPECT_EQ(stream.DeviceNames()[1].name, "Manual: two");
  stream.SetDevice(-1);
  stream.SetDevice(2);
  EXPECT_EQ(stream.Device(), 0);
  stream.SetDevice(1);
  EXPECT_EQ(stream.Device(), 1);

  stream.SetRampEnds(false);
  stream.Start();
  const int opens = layer.out.opens;
  stream.SetDevice(1);  // the same: nothing
  EXPECT_EQ(layer.out.opens, opens);
  stream.SetDevice(0);  // another: restarts the stream
  EXPECT_EQ(layer.out.opens, opens + 1);
  EXPECT_TRUE(stream.IsActive());
}

TEST_F(WaveOutStreamTest, StartPrimesEveryBufferAndFadesInTheFirst) {
  stream.Start();
  EXPECT_EQ(fills.load(), 4);
  ASSERT_TRUE(PlayNext(layer.out));
  const auto first = PlayedAt(0);
  EXPECT_EQ(first[0], 0);                                     // the ramp starts from silence
  EXPECT_EQ(first[2 * 128], 5000);                            // halfway up
  EXPECT_EQ(first[2 * 255 + 1], 9960);                        // nearly there
  ASSERT_TRUE(WaitUntil([&] { return fills.load() == 5; }));  // refilled in its turn
}

TEST_F(WaveOutStreamTest, StoppingWithRampEndsOnABufferThatFadesToSilence) {
  stream.Start();
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    stream.Stop();
    stopped = true;
  });
  while (!stopped) {
    PlayNext(layer.out);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  stopper.join();
  ASSERT_GE(Played(), 2u);
  const auto last = PlayedAt(Played() - 1);
  EXPECT_EQ(last[0], 10000);
  EXPECT_LT(std::abs(last[2 * 255]), 60);  // faded out
  EXPECT_FALSE(stream.IsActive());
}

TEST_F(WaveOutStreamTest, StoppingWithoutRampIsImmediate) {
  stream.SetRampEnds(false);
  stream.Start();
  stream.Stop();  // no buffer has to play for it
  EXPECT_FALSE(stream.IsActive());
  EXPECT_FALSE(layer.out.open);
  EXPECT_EQ(fills.load(), 4);
}

TEST_F(WaveOutStreamTest, StoppingWhileHoldingTheLockReleasesIt) {
  stream.Start();
  stream.Lock();
  ASSERT_TRUE(PlayNext(layer.out));  // the service thread now waits for the lock
  stream.Stop();
  EXPECT_FALSE(stream.IsActive());
  EXPECT_FALSE(stream.GetEngineLock().IsHeldByCaller());
  stream.Unlock();  // does nothing
  stream.Lock();    // and the lock is free again
  stream.Unlock();
}

TEST_F(WaveOutStreamTest, ADeviceThatRanDryGetsSilenceAndOneOverload) {
  stream.Start();
  stream.Lock();  // the fill stalls: the service thread cannot get in
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(PlayNext(layer.out));
  const int fillsBefore = fills.load();
  {
    std::lock_guard lock(layer.out.mutex);
    layer.out.events.clear();
  }
  stream.Unlock();
  ASSERT_TRUE(WaitUntil([&] { return fills.load() == fillsBefore + 1; }));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard lock(layer.out.mutex);
    return layer.out.events.size() == 5;
  }));
  EXPECT_TRUE(stream.TakeOverload());
  EXPECT_FALSE(stream.TakeOverload());
  {
    std::lock_guard lock(layer.out.mutex);
    EXPECT_EQ(layer.out.events,
              (std::vector<std::string>{"write", "write", "write", "fill", "write"}));
  }
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(PlayNext(layer.out));
  for (size_t i = Played() - 3; i < Played(); ++i) EXPECT_EQ(PlayedAt(i)[100], 0) << i;
}

TEST_F(WaveOutStreamTest, EveryBufferIsFilledBeforeTheDeviceGetsIt) {
  for (int count : {2, 4}) {
    stream.SetBuffers(count, 1024);
    stream.SetRampEnds(false);
    stream.Start();
    for (int round = 0; round < 3; ++round) {
      {
        std::lock_guard lock(layer.out.mutex);
        layer.out.events.clear();
      }
      const int before = fills.load();
      ASSERT_TRUE(PlayNext(layer.out));
      ASSERT_TRUE(WaitUntil([&] { return fills.load() == before + 1; }));
      ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(layer.out.mutex);
        return layer.out.events.size() == 2;
      }));
      std::lock_guard lock(layer.out.mutex);
      EXPECT_EQ(layer.out.events, (std::vector<std::string>{"fill", "write"})) << count;
    }
    stream.Stop();
  }
}

TEST_F(WaveOutStreamTest, FillTimesGiveTheLoadAndOverloadsBeginBeyondOneBuffer) {
  stream.SetBuffers(4, 4096);  // 1024 frames, 23.22 ms
  TimeFillsByTheTestClock();
  FillsTake(milliseconds(12));
  stream.Start();
  PlayAndRefill(5);
  ASSERT_TRUE(LoadBecomes(12e6 / BufferNanos(1024)));  // about 0.52
  EXPECT_FALSE(stream.TakeOverload());

  // Fills a microsecond shorter than the buffer lasts keep up; a microsecond
  // longer, they do not.
  FillsTake(nanoseconds(23'219'000));
  PlayAndRefill(5);
  ASSERT_TRUE(LoadBecomes(23'219'000 / BufferNanos(1024)));
  EXPECT_LT(stream.CpuLoad(), 1.0);
  EXPECT_FALSE(stream.TakeOverload());

  FillsTake(nanoseconds(23'221'000));
  PlayAndRefill(5);
  ASSERT_TRUE(LoadBecomes(23'221'000 / BufferNanos(1024)));
  EXPECT_GT(stream.CpuLoad(), 1.0);
  EXPECT_TRUE(WaitUntil([&] { return stream.TakeOverload(); }));
}

TEST_F(WaveOutStreamTest, LoadIsMeasuredAgainAfterABufferChangeAndIsZeroWhenStopped) {
  stream.SetRampEnds(false);  // restarts at once, with no faded buffer to play
  stream.SetBuffers(4, 4096);
  TimeFillsByTheTestClock();
  FillsTake(microseconds(50));
  stream.Start();
  PlayAndRefill(5);
  ASSERT_TRUE(LoadBecomes(50e3 / BufferNanos(1024)));

  stream.SetBuffers(4, 1024);  // what Settings → Apply does while audio runs
  ASSERT_TRUE(stream.IsActive());
  EXPECT_EQ(stream.CpuLoad(), 0.0);  // the fills of the last run are forgotten
  PlayAndRefill(5);
  EXPECT_TRUE(LoadBecomes(50e3 / BufferNanos(256)));  // four times the load, not 0

  stream.Stop();
  EXPECT_EQ(stream.CpuLoad(), 0.0);
}

TEST(FillLoadMeterTest, LightFillsOfSmallBuffersStillShow) {
  FillLoadMeter meter;
  EXPECT_EQ(meter.Load(), 0.0);
  meter.Restart(512);  // 2048 bytes, 11.6 ms
  for (int i = 0; i < FillLoadMeter::kFills; ++i) meter.Record(microseconds(7));
  EXPECT_NEAR(meter.Load(), 7e3 / BufferNanos(512), 1e-12);  // "CPU Load: 0.06"
  EXPECT_GT(meter.Load() * 100.0, 0.055);

  // The mean of the last five: older fills drop out.
  meter.Record(microseconds(57));
  EXPECT_NEAR(meter.Load(), (4 * 7e3 + 57e3) / 5 / BufferNanos(512), 1e-12);
  meter.Restart(1024);
  EXPECT_EQ(meter.Load(), 0.0);
}

// A device layer whose devices fail to open, with the layer's own text.
class BusyDeviceLayer final : public WaveDeviceLayer {
 public:
  struct Busy final : WaveOutDevice {
    void Open(CompletionSink&) override { throw EWaveOutError(4, "Device is busy (4)."); }
    void Pause() override {}
    void Restart() override {}
    void Write(const int16_t*, int) override {}
    void Reset() override {}
    void Close() override {}
  };
  struct BusyIn final : WaveInDevice {
    void Open(CompletionSink&) override { throw EWaveInError(7, "No input (7)."); }
    void AddBuffer(int16_t*, int) override {}
    void Start() override {}
    void Stop() override {}
    void Reset() override {}
    void Close() override {}
  };
  std::vector<WaveDeviceInfo> OutputDevices() override { return {{"Busy", 0}}; }
  std::vector<WaveDeviceInfo> InputDevices() override { return {{"Busy", 0}}; }
  std::unique_ptr<WaveOutDevice> CreateOutput(int) override { return std::make_unique<Busy>(); }
  std::unique_ptr<WaveInDevice> CreateInput(int) override { return std::make_unique<BusyIn>(); }
};

TEST(WaveStreamErrorTest, DeviceErrorsReachTheCallerWithTheDevicesText) {
  BusyDeviceLayer layer;
  KWWaveOutStream out(layer);
  try {
    out.Start();
    FAIL() << "no error";
  } catch (const EWaveOutError& e) {
    EXPECT_STREQ(e.what(), "Device is busy (4).");
    EXPECT_EQ(e.Code(), 4);
  }
  EXPECT_FALSE(out.IsActive());
  out.Stop();  // nothing to stop
  KWWaveInStream in(layer);
  EXPECT_THROW(in.Start(), EWaveInError);
  EXPECT_FALSE(in.IsActive());

  TContraptionFactory factory;
  TAudioEngineModule engine(factory, std::make_unique<KWWaveOutStream>(layer),
                            std::make_unique<KWWaveInStream>(layer));
  EXPECT_THROW(engine.StartAudioOut(), EWaveOutError);
  EXPECT_FALSE(engine.IsAudioOutRunning());
  EXPECT_THROW(engine.StartAudioIn(), EWaveInError);
}

TEST(WaveInStreamTest, TheEngineAdvancesOneBufferPerCallWhileItKeepsUp) {
  ManualWaveDeviceLayer layer;
  KWWaveInStream in(layer);
  in.SetBuffers(4, 1024);
  in.Start();
  auto currentValue = [&] { return in.CurrentData() == nullptr ? -1 : in.CurrentData()[0]; };

  ASSERT_TRUE(test::CaptureNext(layer.in, 1));
  ASSERT_TRUE(test::WaitUntil([&] {
    std::lock_guard lock(layer.in.mutex);
    return layer.in.added.size() == 4;  // handed back at once
  }));
  EXPECT_EQ(in.TakeNextBuffer(), 256);
  EXPECT_EQ(currentValue(), 1);

  EXPECT_EQ(in.TakeNextBuffer(), 256);  // nothing new: the most recent one again
  EXPECT_EQ(currentValue(), 1);

  ASSERT_TRUE(test::CaptureNext(layer.in, 2));
  ASSERT_TRUE(test::CaptureNext(layer.in, 3));
  ASSERT_TRUE(test::WaitUntil([&] {
    std::lock_guard lock(layer.in.mutex);
    return layer.in.added.size() == 4;
  }));
  in.TakeNextBuffer();  // two ready: one step, the other kept for next time
  EXPECT_EQ(currentValue(), 2);
  in.TakeNextBuffer();
  EXPECT_EQ(currentValue(), 3);

  for (int v = 4; v < 8; ++v) ASSERT_TRUE(test::CaptureNext(layer.in, static_cast<int16_t>(v)));
  ASSERT_TRUE(test::WaitUntil([&] {
    std::lock_guard lock(layer.in.mutex);
    return layer.in.added.size() == 4;
  }));
  in.TakeNextBuffer();  // a whole queue behind: jump to the most recent
  EXPECT_EQ(currentValue(), 7);

  EXPECT_EQ(in.BeginRead(), in.CurrentData());
  in.EndRead();
  in.Stop();
  in.TakeNextBuffer();
  EXPECT_EQ(in.CurrentData(), nullptr);
}

// The audio thread reads block after block while the user-interface thread
// stops and starts the stream: a stop waits for a read under way, and no read
// sees the buffers of a stream that is not running. Meant for the tsan preset.
TEST(WaveInStreamTest, StopAndStartNeverPullTheBuffersFromUnderAReader) {
  ManualWaveDeviceLayer layer;
  KWWaveInStream in(layer);
  in.SetBuffers(4, 1024);
  in.Start();
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::atomic<int64_t> sum{0};
  std::thread audio([&] {
    while (!done) {
      in.TakeNextBuffer();
      if (const int16_t* data = in.BeginRead()) {
        int64_t block = 0;
        for (int i = 0; i < 512; ++i) block += data[i];
        sum.fetch_add(block);
        reads.fetch_add(1);
      }
      in.EndRead();
    }
  });
  // The device captures silence: it posts completions without writing.
  auto complete = [&] {
    std::lock_guard lock(layer.in.mutex);
    if (layer.in.added.empty() || layer.in.sink == nullptr) return;
    layer.in.added.pop_front();
    layer.in.sink->BufferDone();
  };
  for (int round = 0; round < 40; ++round) {
    for (int k = 0; k < 6; ++k) complete();
    const int before = reads.load();
    ASSERT_TRUE(WaitUntil([&] { return reads.load() > before; }));
    in.Stop();
    in.Start();
  }
  done = true;
  audio.join();
  EXPECT_EQ(sum.load(), 0);
  in.Stop();
}

TEST(StreamSettingsTest, StoredValuesAreCorrectedOnReading) {
  ManualWaveDeviceLayer layer;
  MemorySettingsStore settings;
  {
    KWWaveOutStream out(layer);
    KWWaveInStream in(layer);
    LoadStreamSettings(settings, out, in);  // nothing stored: defaults
    EXPECT_EQ(out.BufferCount(), 4);
    EXPECT_EQ(in.BufferSize(), 16384);
  }
  settings.WriteInt("0.7/OutStream", "BufferCount", 1);
  settings.WriteInt("0.7/OutStream", "BufferSize", 8192);
  settings.WriteInt("0.7/OutStream", "DeviceID", 7);
  settings.WriteBool("0.7/OutStream", "Overdrive", false);
  settings.WriteInt("0.7/InStream", "BufferCount", 9);
  settings.WriteInt("0.7/InStream", "BufferSize", 4096);
  {
    KWWaveOutStream out(layer);
    KWWaveInStream in(layer);
    LoadStreamSettings(settings, out, in);
    EXPECT_EQ(out.BufferCount(), 4);
    EXPECT_EQ(out.BufferSize(), 8192);
    EXPECT_EQ(out.Device(), 0);  // out of range: ignored
    EXPECT_FALSE(out.Overdrive());
    EXPECT_EQ(in.BufferCount(), 4);
    EXPECT_EQ(in.BufferSize(), 8192);  // raised to the output's
  }
  settings.WriteString("0.7/OutStream", "BufferCount", "three");
  settings.WriteInt("0.7/OutStream", "DeviceID", 0);
  settings.WriteString("0.7/OutStream", "DeviceName", "Manual: two");  // the list moved
  {
    KWWaveOutStream out(layer);
    KWWaveInStream in(layer);
    LoadStreamSettings(settings, out, in);
    EXPECT_EQ(out.BufferCount(), 4);  // not a number: kept
    EXPECT_EQ(out.Device(), 1);
    out.SetBuffers(6, 2048);
    in.SetBuffers(3, 4096);
    StoreStreamSettings(settings, out, in);
  }
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferCount"), 6);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "DeviceID"), 1);
  EXPECT_EQ(settings.ReadString("0.7/OutStream", "DeviceName"), "Manual: two");
  EXPECT_EQ(settings.ReadInt("0.7/InStream", "BufferSize"), 4096);
  EXPECT_EQ(settings.ReadInt("0.7/InStream", "BufferCount"), 3);
}

}  // namespace wave_stream_test
}  // namespace tg
