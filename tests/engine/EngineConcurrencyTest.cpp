#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/EngineLock.h"
#include "engine/TAudioEngineModule.h"
#include "engine/streams/DetachedOutStream.h"
#include "engine/streams/KWWaveInStream.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "shell/patch/PatchEditor.h"
#include "shell/patch/PatchModel.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace engine_concurrency_test {

// One thread plays the audio thread, filling buffers under the engine lock as
// fast as it can; this thread edits the graph and parameters meanwhile, as the
// user-interface thread does. With more than one processing thread, the
// helpers share the passes and the count of them changes now and then too.
// Meant for the tsan preset.
class GraphEditsTest : public ::testing::TestWithParam<int> {};

TEST_P(GraphEditsTest, GraphAndParameterEditsRaceFreeWithTheProcessingCycle) {
  const int threads = GetParam();
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  factory.Emplace<TMakerTemplate<test::TestRingAM>>("TestRingAM", "Effects", 1007, false);
  auto stream = std::make_unique<DetachedOutStream>(4, 4096);
  DetachedOutStream* out = stream.get();
  TAudioEngineModule engine(factory, std::move(stream));
  engine.SetProcessingThreads(threads);
  auto soundOut = factory.Create(engine, "SoundOut", "");
  engine.AttachContraption(*soundOut);
  engine.StartAudioOut();
  engine.StartPauseClock();
  bool shared = false;

  std::atomic<bool> stop{false};
  std::atomic<int> fills{0};
  std::thread audio([&] {
    std::vector<int16_t> buffer(2 * 1024);
    while (!stop.load()) {
      out->Fill(buffer.data(), 1024);
      fills.fetch_add(1);
    }
  });

  std::mt19937 random(7);
  std::vector<std::unique_ptr<TGardeningContraption>> live;
  // Enough edits, and enough fills in between them, whatever the scheduler does.
  for (int step = 0; step < 3000 || (fills.load() < 200 && step < 2000000); ++step) {
    const int action = static_cast<int>(random() % 6);
    if (action == 0 || live.size() < 3) {
      live.push_back(factory.Create(engine, "TestRingAM", ""));
      engine.AttachContraption(*live.back());
    } else if (action == 1 && live.size() > 3) {
      const size_t victim = random() % live.size();
      engine.DestroyContraption(std::move(live[victim]));
      live.erase(live.begin() + static_cast<long>(victim));
    } else if (action == 2) {
      auto& a = *live[random() % live.size()];
      auto& b = *live[random() % live.size()];
      engine.ConnectContraptions(a, 0, b, static_cast<int>(random() % 2));  // loops too
      engine.ConnectContraptions(a, 0, *soundOut, static_cast<int>(random() % 2));
    } else if (action == 3) {
      auto& a = *live[random() % live.size()];
      auto& b = *live[random() % live.size()];
      engine.DisconnectContraptions(a, 0, b, 0);
      engine.DisconnectContraptions(a, 0, *soundOut, 1);
    } else if (action == 4) {
      auto& ring = static_cast<test::TestRingAM&>(live[random() % live.size()]->Processor());
      ring.frequency.SetValue(static_cast<double>(random() % 5000));
      ring.am.SetValue(static_cast<int>(random() % 2));
      live.front()->StorePreset(0);
      live.front()->RecallPreset(0);
    } else {
      engine.GetMeters();
      engine.SetTempo(60.0 + random() % 180);
      if (random() % 8 == 0) engine.StopClock(), engine.StartPauseClock();
      if (threads > 1 && random() % 64 == 0) {
        engine.SetProcessingThreads(1 + static_cast<int>(random() % 3));
        engine.SetProcessingThreads(threads);
      }
    }
    if (threads > 1 && !shared) {
      EngineLockGuard lock(engine.GetEngineLock());
      shared = engine.GetContext().SharesPasses();
    }
  }
  stop.store(true);
  audio.join();
  EXPECT_GE(fills.load(), 200);
  // The patch grew large enough for the helpers to join in, where there are cores.
  if (TAudioEngineModule::ThreadsFor(threads) > 1) {
    EXPECT_TRUE(shared);
  }

  engine.StopAudioOut();
  for (auto& c : live) engine.DestroyContraption(std::move(c));
  engine.DestroyContraption(std::move(soundOut));
}

INSTANTIATE_TEST_SUITE_P(Threads, GraphEditsTest, ::testing::Values(1, 2),
                         [](const auto& param) { return std::to_string(param.param) + "Threads"; });

// Live, a helper without real-time scheduling could be put aside in the
// middle of a pass: one thread works alone and says why. A render may use it.
TEST(EngineConcurrencyTest, LiveHelpersWorkOnlyWithRealTimeScheduling) {
  if (TAudioEngineModule::ThreadsFor(2) < 2) GTEST_SKIP() << "one core";
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  TAudioEngineModule engine(factory, std::make_unique<DetachedOutStream>(4, 4096));
  engine.SetHelperStart([] { return false; });
  engine.SetProcessingThreads(2);
  EXPECT_EQ(engine.ActiveProcessingThreads(), 1);
  EXPECT_NE(engine.ProcessingThreadsNote().find("real-time"), std::string::npos);
  engine.SetHelpersNeedRealTime(false);
  engine.SetProcessingThreads(2);
  EXPECT_EQ(engine.ActiveProcessingThreads(), 2);
  EXPECT_EQ(engine.ProcessingThreadsNote(), "");
  engine.SetProcessingThreads(1);
}

// The user picks SoundOut files one after another while takes and playback
// run on the audio thread. Meant for the tsan preset.
TEST(EngineConcurrencyTest, SoundOutFileChangesRaceFreeWithTheProcessingCycle) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  auto stream = std::make_unique<DetachedOutStream>(4, 4096);
  DetachedOutStream* out = stream.get();
  TAudioEngineModule engine(factory, std::move(stream));
  auto soundOut = factory.Create(engine, "SoundOut", "");
  TGSoundOut& processor = engine.SoundOutProcessor();
  test::TempDir dir;

  std::atomic<bool> stop{false};
  std::atomic<int> fills{0};
  std::thread audio([&] {
    std::vector<int16_t> buffer(2 * 1024);
    while (!stop.load()) {
      out->Fill(buffer.data(), 1024);
      fills.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // paced, like a device
    }
  });
  for (int k = 0; k < 24; ++k) {
    processor.ChooseFile(dir / ("take" + std::to_string(k % 3) + ".wav"));
    // Every other change is left to open while the next command comes.
    if (k % 2 == 0) {
      ASSERT_TRUE(test::WaitUntil([&] { return processor.GetState() != TGSoundOut::kOpening; }));
    }
    {
      EngineLockGuard lock(engine.OutStream().GetEngineLock());
      processor.action.SetValue(k % 4 == 2 ? TGSoundOut::kPlay : TGSoundOut::kRecord);
    }
    const int before = fills.load();
    ASSERT_TRUE(test::WaitUntil([&] { return fills.load() >= before + 4; }));
  }
  stop.store(true);
  audio.join();
  ASSERT_TRUE(test::WaitUntil([&] { return processor.GetState() != TGSoundOut::kOpening; }));
  engine.DestroyContraption(std::move(soundOut));
  EXPECT_EQ(processor.GetState(), TGSoundOut::kNoFile);
}

// The user-interface side's longest hold of the engine lock is on record;
// the audio side's holds are not measured.
TEST(EngineLockTest, TheLongestUserInterfaceHoldIsRecordedUntilReset) {
  using std::chrono::steady_clock;
  EngineLock lock;
#ifdef __linux__
  EXPECT_TRUE(lock.InheritsPriority());
#endif
  EXPECT_EQ(lock.LongestUiHold().count(), 0);

  // A hold that lasts until the audio thread waits for the lock and the
  // clock has moved on by 2 ms; nested locking does not end it early.
  std::atomic<bool> audioWaiting{false}, audioGotIt{false};
  lock.Lock();
  const auto start = steady_clock::now();
  std::thread audio([&] {
    audioWaiting = true;
    lock.LockForService();
    audioGotIt = true;
    lock.UnlockForService();
  });
  {
    EngineLockGuard nested(lock);
    lock.Lock();
  }
  EXPECT_TRUE(lock.IsHeldByCaller());
  ASSERT_TRUE(test::WaitUntil([&] {
    return audioWaiting.load() && steady_clock::now() - start >= std::chrono::milliseconds(2);
  }));
  EXPECT_FALSE(audioGotIt.load());
  const auto held = steady_clock::now() - start;
  lock.Unlock();
  audio.join();
  EXPECT_TRUE(audioGotIt.load());
  EXPECT_GE(lock.LongestUiHold(), held);

  lock.Lock();  // a short hold leaves the record as it is
  lock.Unlock();
  EXPECT_GE(lock.LongestUiHold(), held);

  lock.ResetLongestUiHold();
  EXPECT_EQ(lock.LongestUiHold().count(), 0);
  std::thread([&] {
    lock.LockForService();
    const auto t = steady_clock::now();
    while (steady_clock::now() - t < std::chrono::milliseconds(1)) {
    }
    lock.UnlockForService();
  }).join();
  EXPECT_EQ(lock.LongestUiHold().count(), 0);
}

// Notes whether the engine lock was held by the caller when a window closed.
class LockWatchingWindows final : public ContraptionWindows {
 public:
  explicit LockWatchingWindows(EngineLock& lock) : lock_(lock) {}
  void ShowWindow(TGardeningContraption&) override {}
  void CloseWindow(TGardeningContraption&) override {
    ++closed;
    if (lock_.IsHeldByCaller()) ++closedUnderLock;
  }
  void ShowHelp(const std::string&) override {}
  int closed = 0;
  int closedUnderLock = 0;

 private:
  EngineLock& lock_;
};

// A capture device that captures nothing and notes whether the engine lock
// was held by the caller when it was stopped or closed.
class LockWatchingInLayer final : public WaveDeviceLayer {
 public:
  std::vector<WaveDeviceInfo> OutputDevices() override { return {}; }
  std::vector<WaveDeviceInfo> InputDevices() override { return {{"Watching: in", 0}}; }
  std::unique_ptr<WaveOutDevice> CreateOutput(int) override { return nullptr; }
  std::unique_ptr<WaveInDevice> CreateInput(int) override {
    return std::make_unique<Device>(*this);
  }
  EngineLock* lock = nullptr;
  int stops = 0;
  int stopsUnderLock = 0;

 private:
  class Device final : public WaveInDevice {
   public:
    explicit Device(LockWatchingInLayer& layer) : layer_(layer) {}
    void Open(CompletionSink&) override {}
    void AddBuffer(int16_t*, int) override {}
    void Start() override {}
    void Stop() override { Note(); }
    void Reset() override {}
    void Close() override { Note(); }

   private:
    void Note() {
      ++layer_.stops;
      if (layer_.lock != nullptr && layer_.lock->IsHeldByCaller()) ++layer_.stopsUnderLock;
    }
    LockWatchingInLayer& layer_;
  };
};

// Deleting contraptions: their windows close, and audio in stops when the
// last SoundIn goes, with the engine lock free, so the audio thread never
// waits for a window or a device.
TEST(EngineConcurrencyTest, DeletingClosesWindowsAndStopsAudioInOutsideTheEngineLock) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  LockWatchingInLayer layer;
  TAudioEngineModule engine(factory, nullptr, std::make_unique<KWWaveInStream>(layer));
  EngineLock& lock = engine.OutStream().GetEngineLock();
  layer.lock = &lock;
  LockWatchingWindows windows(lock);
  ContraptionWindows* before = engine.Host().windows;
  engine.Host().windows = &windows;
  {
    PatchModel model;
    PatchEditor patch(engine, model);
    PatchNode* gen = patch.NewContraption("TestGen", 0, 0);
    PatchNode* soundIn = patch.NewContraption("SoundIn", 0, 40);
    ASSERT_NE(gen, nullptr);
    ASSERT_NE(soundIn, nullptr);
    // As their open editor windows leave them.
    gen->contraption->WindowState().windowOpen = true;
    soundIn->contraption->WindowState().windowOpen = true;
    engine.StartAudioIn();
    ASSERT_TRUE(engine.IsAudioInRunning());

    patch.Delete(*gen);
    EXPECT_EQ(windows.closed, 1);
    EXPECT_TRUE(engine.IsAudioInRunning());  // SoundIn is still there
    patch.Delete(*soundIn);
    EXPECT_EQ(windows.closed, 2);
    EXPECT_FALSE(engine.IsAudioInRunning());
  }
  EXPECT_EQ(windows.closedUnderLock, 0);
  EXPECT_EQ(layer.stops, 2);  // stopped and closed
  EXPECT_EQ(layer.stopsUnderLock, 0);
  engine.Host().windows = before;
}

}  // namespace engine_concurrency_test
}  // namespace tg
