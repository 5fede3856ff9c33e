// Panic: every sound of the patch stops within one block, faded so that no
// click is heard, while clock, audio and document go on. And the overload
// count, from a contraption too slow for real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "contraptions/effects/nastyreverb/TGCmixReverb.h"
#include "contraptions/effects/sdelay/TGSDelay.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/DetachedOutStream.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "host/MemorySettingsStore.h"
#include "tests/engine/PanicProcessors.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ManualWaveDevice.h"

namespace tg {
namespace panic_test {

using test::Burst;
using test::BusyWait;
using test::WaitUntil;

int MaxStep(const std::vector<int16_t>& s, size_t from, size_t to) {
  int step = 0;
  for (size_t i = std::max<size_t>(from, 2); i < to; ++i)
    step = std::max(step, std::abs(s[i] - s[i - 2]));
  return step;
}

int Peak(const std::vector<int16_t>& s, size_t from, size_t to) {
  int peak = 0;
  for (size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
  return peak;
}

// A noise burst into SDelay (feedback 0.95) into a long NastyReverb, heard
// through SoundOut: the tails ring for many seconds.
class PanicTest : public test::EngineFixture {
 protected:
  static constexpr int kFrames = 4096;  // one buffer, 16 blocks

  PanicTest() {
    TGardeningContraption& delay = Make("SDelay");
    TGardeningContraption& reverb = Make("NastyReverb");
    engine->AttachContraption(delay);
    engine->AttachContraption(reverb);
    auto& d = ProcessorOf<TGSDelay>(delay);
    d.feedback.SetValue(0.95);
    auto& r = ProcessorOf<TGCmixReverb>(reverb);
    r.reverbTime.SetValue(TGCmixReverb::kMaxReverbTime);
    burst = new Burst(&engine->GetContext());
    QSDynSigContext& context = engine->GetContext();
    context.Connect(burst, 0, &d, 0, false);
    engine->ConnectContraptions(delay, 0, reverb, 0);
    context.Connect(&r, 0, &engine->SoundOutProcessor(), 0, false);
    context.Connect(&r, 1, &engine->SoundOutProcessor(), 1, false);
    engine->GetContext().Clock().SetRunning(true);
    engine->SetDocumentModified(false);
  }

  DetachedOutStream& Stream() { return dynamic_cast<DetachedOutStream&>(engine->OutStream()); }
  // One buffer as the output stream's thread fills it.
  std::vector<int16_t> Play() {
    std::vector<int16_t> buffer(2 * kFrames);
    Stream().Fill(buffer.data(), kFrames);
    return buffer;
  }
  // The burst for half a second, then its tails for a second.
  void RingTails() {
    for (int i = 0; i < 6; ++i) Play();
    burst->on = false;
    for (int i = 0; i < 11; ++i) Play();
  }

  Burst* burst = nullptr;
};

TEST_F(PanicTest, TheTailsStopWithinOneBlockWithoutAStepOrAnyChangeToThePatch) {
  engine->StartAudioOut();
  RingTails();
  const std::vector<int16_t> before = Play();
  ASSERT_GT(Peak(before, 0, before.size()), 1000) << "the tails should still ring";
  const double position = engine->GetContext().Clock().Position();

  engine->Panic();
  std::vector<int16_t> after = Play();
  // Heard as one stream: the last frame before, then the panic's buffer.
  std::vector<int16_t> joined(before.end() - 2, before.end());
  joined.insert(joined.end(), after.begin(), after.end());

  constexpr size_t kBlockValues = 2 * kBlockSize;
  EXPECT_GT(Peak(after, 0, kBlockValues / 4), 100) << "the first block fades, it does not cut";
  EXPECT_LE(Peak(after, kBlockValues - 2, kBlockValues), 1) << "the fade ends on silence";
  EXPECT_LE(Peak(after, kBlockValues, after.size()), 1) << "silent from the second block on";
  EXPECT_LE(MaxStep(joined, 0, joined.size()), MaxStep(before, 0, before.size()));

  EXPECT_GT(engine->GetContext().Clock().Position(), position);
  EXPECT_TRUE(engine->IsAudioOutRunning());
  EXPECT_FALSE(engine->IsDocumentModified());
  EXPECT_EQ(ProcessorOf<TGSDelay>(*owned[0]).feedback.Value(), 0.95);

  // The patch plays again: the delay's echo comes back after its 200 ms.
  burst->on = true;
  for (int i = 0; i < 3; ++i) after = Play();
  EXPECT_GT(Peak(after, 0, after.size()), 1000);
  engine->StopAudioOut();
}

TEST_F(PanicTest, WithAudioStoppedTheResetsHappenAtOnce) {
  engine->StartAudioOut();
  RingTails();
  engine->StopAudioOut();
  engine->Panic();
  std::vector<int16_t> buffer(2 * kFrames);
  engine->OutStreamFillBuffer(buffer.data(), kFrames);
  EXPECT_LE(Peak(buffer, 0, buffer.size()), 1);
}

// A panic asked for just as audio out stops is not lost: the next start is
// silent and unfaded.
TEST_F(PanicTest, APanicPendingAtStopIsFinishedByTheStop) {
  engine->StartAudioOut();
  RingTails();
  engine->Panic();
  engine->StopAudioOut();
  engine->StartAudioOut();
  const std::vector<int16_t> buffer = Play();
  EXPECT_LE(Peak(buffer, 0, buffer.size()), 1);
  engine->StopAudioOut();
}

// The engine on the silent device, which keeps real time.
class LiveEngineTest : public ::testing::Test {
 protected:
  LiveEngineTest() {
    RegisterContraptionTypes(factory);
    factory.Emplace<TMakerTemplate<BusyWait>>("BusyWait", "Test", 0, false);
    settings.WriteInt("0.7/OutStream", "BufferCount", 4);
    settings.WriteInt("0.7/OutStream", "BufferSize", 1024);  // one block a buffer
    engine =
        std::make_unique<TAudioEngineModule>(factory, std::make_unique<KWWaveOutStream>(layer),
                                             std::make_unique<KWWaveInStream>(layer), &settings);
  }
  ~LiveEngineTest() override {
    engine->StopAudioOut();
    for (auto& c : owned) engine->DestroyContraption(std::move(c));
  }
  TGardeningContraption& Make(const char* type) {
    owned.push_back(factory.Create(*engine, type, ""));
    engine->AttachContraption(*owned.back());
    return *owned.back();
  }

  TContraptionFactory factory;
  MemorySettingsStore settings;
  SilentWaveDeviceLayer layer;
  std::unique_ptr<TAudioEngineModule> engine;
  std::vector<std::unique_ptr<TGardeningContraption>> owned;
};

TEST_F(LiveEngineTest, ASlowContraptionIsCountedAsOverloadsUntilTheCountIsCleared) {
  auto& busy = static_cast<BusyWait&>(Make("BusyWait").Processor());
  engine->GetContext().Connect(&busy, 0, &engine->SoundOutProcessor(), 0, false);
  engine->StartAudioOut();
  ASSERT_TRUE(WaitUntil([&] { return engine->OverloadCount() >= 2; }));
  EXPECT_TRUE(engine->TakeOverloadFlag());

  // Cleared, it counts on from nothing.
  engine->ClearOverloadCount();
  EXPECT_LT(engine->OverloadCount(), 2u);
  ASSERT_TRUE(WaitUntil([&] { return engine->OverloadCount() >= 1; }));
  busy.busy = false;
  engine->StopAudioOut();
  EXPECT_GE(engine->OverloadCount(), 1u) << "the count outlives the stop";
  engine->StartAudioOut();
  EXPECT_EQ(engine->OverloadCount(), 0u) << "and starts afresh with audio";
}

// A fill that finds an overload counts one, however many the stream saw.
TEST_F(PanicTest, EachFillThatFindsAnOverloadCountsOne) {
  engine->StartAudioOut();
  Stream().AddOverload();
  Stream().AddOverload();
  Play();
  Play();
  EXPECT_EQ(engine->OverloadCount(), 1u);
  Stream().AddOverload();
  Play();
  EXPECT_EQ(engine->OverloadCount(), 2u);
  engine->ClearOverloadCount();
  EXPECT_EQ(engine->OverloadCount(), 0u);
  engine->StopAudioOut();
}

// On a real audio thread (ThreadSanitizer watches): the output meter falls
// to nothing once the panic is taken, while audio runs on.
TEST_F(LiveEngineTest, APanicOnTheAudioThreadSilencesTheOutput) {
  TGardeningContraption& delay = Make("SDelay");
  TGardeningContraption& reverb = Make("NastyReverb");
  static_cast<TGSDelay&>(delay.Processor()).feedback.SetValue(0.95);
  auto* burst = new Burst(nullptr);
  burst->SetContext(&engine->GetContext());
  {
    EngineLockGuard lock(engine->GetEngineLock());
    QSDynSigContext& context = engine->GetContext();
    context.Connect(burst, 0, &delay.Processor(), 0, false);
    context.Connect(&reverb.Processor(), 0, &engine->SoundOutProcessor(), 0, false);
    context.Connect(&reverb.Processor(), 1, &engine->SoundOutProcessor(), 1, false);
  }
  engine->ConnectContraptions(delay, 0, reverb, 0);
  engine->StartAudioOut();
  ASSERT_TRUE(WaitUntil([&] { return engine->GetMeters().outputLeft > 0.05f; }));
  burst->on = false;
  engine->Panic();
  ASSERT_TRUE(WaitUntil([&] {
    const TAudioEngineModule::Meters m = engine->GetMeters();
    return m.outputLeft < 1e-4f && m.outputRight < 1e-4f;
  }));
  EXPECT_TRUE(engine->IsAudioOutRunning());
  engine->StopAudioOut();
}

}  // namespace panic_test
}  // namespace tg
