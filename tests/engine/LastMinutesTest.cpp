#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "engine/LastMinutesFile.h"
#include "engine/TAudioEngineModule.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/MemorySettingsStore.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace last_minutes_test {

constexpr int64_t kDigit = 30000;

// Plays the number of each frame, in two 16-bit digits (low left, high
// right), so every frame heard says where it belongs.
class CountingPipe final : public QSSignalProcessor {
 public:
  explicit CountingPipe(QSDynSigContext* context) : QSSignalProcessor(context, 0, 2) {
    SetOutletSignal(0, &left_);
    SetOutletSignal(1, &right_);
  }
  void Process() override {
    // Half a step up, so the output's truncation gives the digit itself.
    auto sample = [](int64_t digit) { return (static_cast<float>(digit) + 0.5f) / 32767.0f; };
    for (int i = 0; i < kBlockSize; ++i, ++count_) {
      left_.Data()[i] = sample(count_ % kDigit);
      right_.Data()[i] = sample(count_ / kDigit % kDigit);
    }
  }

 private:
  QSSignal left_, right_;
  int64_t count_ = 0;
};

int64_t FrameNumber(const std::vector<int16_t>& samples, size_t frame) {
  return samples[2 * frame] + kDigit * samples[2 * frame + 1];
}

std::vector<int16_t> WaveSamples(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2)
    samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                           static_cast<uint8_t>(bytes[i + 1]) << 8));
  return samples;
}

TEST(LastMinutesTest, TheFileHoldsWhatWasPlayedWhilePlayingGoesOn) {
  test::ManualWaveDeviceLayer layer;
  MemorySettingsStore settings;
  settings.WriteInt("0.7/OutStream", "BufferCount", 4);
  settings.WriteInt("0.7/OutStream", "BufferSize", 1024);  // one block a buffer
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  auto engine =
      std::make_unique<TAudioEngineModule>(factory, std::make_unique<KWWaveOutStream>(layer),
                                           std::make_unique<KWWaveInStream>(layer), &settings);
  auto soundOut = factory.Create(*engine, "SoundOut", "");
  engine->AttachContraption(*soundOut);
  auto* counter = new CountingPipe(nullptr);
  counter->SetContext(&engine->GetContext());
  engine->GetContext().Connect(counter, 0, &engine->SoundOutProcessor(), 0, false);
  engine->GetContext().Connect(counter, 1, &engine->SoundOutProcessor(), 1, false);
  constexpr int64_t kKept = 40000;  // frames: wraps after 157 buffers
  engine->KeepLastFrames(kKept);
  engine->StartAudioOut();

  // The device takes a buffer only once the stream has queued the others, so
  // it never runs dry (the stream would fill in silence).
  auto queued = [&] {
    std::lock_guard lock(layer.out.mutex);
    return layer.out.queued.size();
  };
  auto playSome = [&](int buffers) {
    for (int i = 0; i < buffers; ++i) {
      ASSERT_TRUE(test::WaitUntil([&] { return queued() >= 3; }));
      ASSERT_TRUE(test::PlayNext(layer.out));
    }
  };
  playSome(400);
  const size_t playedBefore = [&] {
    std::lock_guard lock(layer.out.mutex);
    return layer.out.played.size();
  }();

  // Saved on a thread of its own while the device goes on playing.
  test::TempDir dir;
  const std::string file = dir / "kept.wav";
  std::atomic<bool> saved{false};
  LastMinutesSaved result;
  std::thread saver([&] {
    result = SaveLastMinutes(engine->LastMinutes(), file);
    saved = true;
  });
  // A few buffers while it copies (real time is far slower than a test's
  // device: a burst would overwrite what the copy is still reading).
  for (int i = 0; i < 16 && !saved; ++i) playSome(1);
  saver.join();
  playSome(8);  // what was filled ahead of the device is heard too
  ASSERT_EQ(result.problem, "");

  std::vector<int16_t> played;
  {
    std::lock_guard lock(layer.out.mutex);
    for (const auto& buffer : layer.out.played)
      played.insert(played.end(), buffer.begin(), buffer.end());
  }
  // Every block reached the device in order, none lost or twice (the first
  // buffer may be faded in).
  EXPECT_EQ(engine->OverloadCount(), 0u);
  for (size_t i = 257; i < played.size() / 2; ++i)
    ASSERT_EQ(FrameNumber(played, i), FrameNumber(played, i - 1) + 1) << "at " << i;

  // The file is a stretch of what was played, sample for sample, as long as
  // the ring allows and ending no earlier than when the save was asked for.
  const std::vector<int16_t> kept = WaveSamples(file);
  ASSERT_EQ(static_cast<int64_t>(kept.size() / 2), result.frames);
  EXPECT_GE(result.frames, kKept - LastMinutesRing::kInFlight - 20 * 256);
  EXPECT_LE(result.frames, kKept);
  ASSERT_GT(result.frames, 0);
  const auto first = static_cast<size_t>(FrameNumber(kept, 0));
  ASSERT_LE(2 * first + kept.size(), played.size());
  EXPECT_GE(first + kept.size() / 2, playedBefore * 256);
  for (size_t k = 0; k < kept.size(); ++k)
    ASSERT_EQ(kept[k], played[2 * first + k]) << "sample " << k;

  engine->StopAudioOut();
  engine->GetContext().Disconnect(counter, 0, &engine->SoundOutProcessor(), 0);
  delete counter;
  engine->DestroyContraption(std::move(soundOut));
}

}  // namespace last_minutes_test
}  // namespace tg
