#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "engine/Timecode.h"
#include "engine/streams/DetachedOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/StreamUserMessages.h"
#include "shell/RegisterContraptions.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace processing_cycle_test {

using test::TestPipe;

// An input stream whose one buffer holds frame k as (k, -k).
class FakeInStream final : public AudioInStream {
 public:
  FakeInStream() : data_(4096 * 2) {
    for (int k = 0; k < 4096; ++k) {
      data_[static_cast<size_t>(2 * k)] = static_cast<int16_t>(k);
      data_[static_cast<size_t>(2 * k + 1)] = static_cast<int16_t>(-k);
    }
  }
  void Start() override { active_ = true; }
  void Stop() override { active_ = false; }
  bool IsActive() const override { return active_; }
  int BufferSize() const override { return 16384; }
  int TakeNextBuffer() override {
    ++taken;
    return 4096;
  }
  const int16_t* BeginRead() override { return active_ ? data_.data() : nullptr; }
  void EndRead() override {}
  int taken = 0;

 private:
  bool active_ = false;
  std::vector<int16_t> data_;
};

class ProcessingCycleTest : public ::testing::Test {
 protected:
  ProcessingCycleTest() {
    RegisterContraptionTypes(factory);
    auto stream = std::make_unique<DetachedOutStream>(4, 16384);
    out = stream.get();
    engine = std::make_unique<TAudioEngineModule>(factory, std::move(stream));
    engine->Host().messages = &messages;
    left = new TestPipe(nullptr, 0, 1);
    right = new TestPipe(nullptr, 0, 1);
    for (TestPipe* p : {left, right}) p->SetContext(&engine->GetContext());
    engine->GetContext().Connect(left, 0, &engine->SoundOutProcessor(), 0, false);
    engine->GetContext().Connect(right, 0, &engine->SoundOutProcessor(), 1, false);
  }

  // Fills frames of output with both channels at a constant value.
  std::vector<int16_t> Fill(float l, float r, int frames) {
    left->SetConstant(l);
    right->SetConstant(r);
    std::vector<int16_t> buffer(static_cast<size_t>(frames) * 2, 1234);
    engine->OutStreamFillBuffer(buffer.data(), frames);
    return buffer;
  }

  TContraptionFactory factory;
  StreamUserMessages messages{nullptr};
  DetachedOutStream* out = nullptr;
  std::unique_ptr<TAudioEngineModule> engine;
  TestPipe* left = nullptr;
  TestPipe* right = nullptr;
};

TEST_F(ProcessingCycleTest, SamplesAreTruncatedAndLimitedToPlusMinus32767) {
  struct Case {
    float in;
    int16_t expected;
  };
  const Case cases[] = {{1.0f, 32767},
                        {1.5f, 32767},
                        {-1.0f, -32767},
                        {-2.0f, -32767},
                        {0.99999f, 32766},
                        {-0.99999f, -32766},
                        {0.5f, 16383},
                        {0.0f, 0},
                        {std::numeric_limits<float>::quiet_NaN(), 0},
                        {std::numeric_limits<float>::infinity(), 32767}};
  for (const Case& c : cases) {
    const auto buffer = Fill(c.in, -c.in, 256);
    EXPECT_EQ(buffer[0], c.expected) << c.in;
    EXPECT_EQ(buffer[511], c.in != c.in ? 0 : -c.expected) << c.in;
  }
}

TEST_F(ProcessingCycleTest, FullScaleLevelIsJustAboveOneAndDecaysPerBlock) {
  const int frames = 4096;  // 16 blocks; with four buffers the meters lag 40 blocks
  for (int i = 0; i < 3; ++i) Fill(1.0f, 0.0f, frames);
  TAudioEngineModule::Meters m = engine->GetMeters();  // shows block 8
  EXPECT_EQ(m.outputLeft, 32767.0f / 32765.0f);
  EXPECT_EQ(m.outputRight, 0.0f);

  for (int i = 0; i < 3; ++i) Fill(0.0f, 0.0f, frames);
  m = engine->GetMeters();  // shows block 56, the ninth silent one
  EXPECT_NEAR(m.outputLeft, 32767.0f / 32765.0f * std::pow(0.5952381f, 9.0f), 1e-7f);
}

TEST_F(ProcessingCycleTest, DisplayDelayFollowsBufferCountAndMetersShowWhatIsHeard) {
  const int frames = 16384 / 4;
  Fill(0.0f, 0.0f, frames);
  EXPECT_EQ(engine->DisplayDelay(), 40);
  out->SetBuffers(2, 16384);
  Fill(0.0f, 0.0f, frames);
  EXPECT_EQ(engine->DisplayDelay(), 8);
  // The settings' longest latency is still shown as heard, and one beyond
  // the history never wraps round to show a later block.
  out->SetBuffers(8, 65536);
  Fill(0.0f, 0.0f, 65536 / 4);
  EXPECT_EQ(engine->DisplayDelay(), 416);
  out->SetBuffers(16, 1 << 20);
  Fill(0.0f, 0.0f, (1 << 20) / 4);
  EXPECT_EQ(engine->DisplayDelay(), TAudioEngineModule::kHistoryLength - 1);
  out->SetBuffers(4, 16384);

  // Blocks 32..47 are loud, the rest silent. With a delay of 40 blocks the
  // meters show the loud blocks only once they are being heard.
  Fill(1.0f, 1.0f, frames);
  Fill(0.0f, 0.0f, frames);  // history index 64: shows block 24
  EXPECT_EQ(engine->GetMeters().outputLeft, 0.0f);
  Fill(0.0f, 0.0f, frames);  // history index 80: shows block 40
  EXPECT_NEAR(engine->GetMeters().outputLeft, 32767.0f / 32765.0f, 1e-6f);
}

TEST_F(ProcessingCycleTest, FramesBeyondTheLastWholeBlockAreLeftAlone) {
  const auto buffer = Fill(0.5f, 0.5f, 300);
  EXPECT_EQ(buffer[2 * 255], 16383);
  for (size_t i = 2 * 256; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 1234) << i;
}

TEST_F(ProcessingCycleTest, ClockAdvancesFortyEightTicksPerSecondAt120Bpm) {
  engine->GetContext().Clock().SetRunning(true);
  // 64 seconds are a whole number of blocks.
  const int frames = 44100 * 64;
  const int perFill = 25 * 256;
  std::vector<int16_t> buffer(2 * perFill);
  for (int done = 0; done < frames; done += perFill)
    engine->OutStreamFillBuffer(buffer.data(), perFill);
  EXPECT_NEAR(engine->GetContext().Clock().Position(), 48.0 * 64, 1e-6);

  engine->StopClock();
  EXPECT_TRUE(engine->SetTempo(60.0));
  EXPECT_NEAR(engine->GetContext().Clock().SamplesPerClock(), 1837.5, 1e-9);
  EXPECT_NEAR(engine->Tempo(), 60.0, 1e-9);
  EXPECT_FALSE(engine->SetTempo(0.0));
  EXPECT_FALSE(engine->SetTempo(std::nan("")));
  EXPECT_NEAR(engine->Tempo(), 60.0, 1e-9);
}

TEST_F(ProcessingCycleTest, TimecodeRoundsUpToWholeTicks) {
  EXPECT_EQ(ClockTickOf(0.0), 0u);
  EXPECT_EQ(ClockTickOf(0.0001), 1u);
  EXPECT_EQ(ClockTickOf(5.0), 5u);
  EXPECT_EQ(ClockTickOf(-3.0), 0u);
  EXPECT_EQ(ClockTickOf(std::nan("")), 0u);
  EXPECT_EQ(FormatTimecode(0), "0:1");
  EXPECT_EQ(FormatTimecode(95), "0:4");
  EXPECT_EQ(FormatTimecode(96), "1:1");
  EXPECT_EQ(FormatTimecode(96 * 12 + 24 * 2), "12:3");
}

TEST_F(ProcessingCycleTest, PauseKeepsThePositionStopResetsIt) {
  TempoClock& clock = engine->GetContext().Clock();
  engine->StartPauseClock();
  EXPECT_TRUE(clock.IsRunning());
  EXPECT_FALSE(engine->IsAudioOutRunning());  // no SoundOut placed
  Fill(0.0f, 0.0f, 2560);
  const double position = clock.Position();
  EXPECT_GT(position, 0.0);
  engine->StartPauseClock();
  Fill(0.0f, 0.0f, 2560);
  EXPECT_EQ(clock.Position(), position);
  engine->StartPauseClock();
  Fill(0.0f, 0.0f, 256);
  EXPECT_GT(clock.Position(), position);
  engine->StopClock();
  EXPECT_FALSE(clock.IsRunning());
  EXPECT_EQ(clock.Position(), 0.0);
}

TEST_F(ProcessingCycleTest, StartingTheClockStartsAudioOutWhenSoundOutIsPlaced) {
  auto soundOut = factory.Create(*engine, "SoundOut", "");
  ASSERT_NE(soundOut, nullptr);
  engine->StartPauseClock();
  EXPECT_TRUE(engine->IsAudioOutRunning());
  engine->StopAudioOut();
  EXPECT_FALSE(engine->IsAudioOutRunning());
  engine->DestroyContraption(std::move(soundOut));
}

TEST_F(ProcessingCycleTest, OverloadIsReportedOnce) {
  EXPECT_FALSE(engine->TakeOverloadFlag());
  out->AddOverload();
  Fill(0.0f, 0.0f, 256);
  EXPECT_TRUE(engine->TakeOverloadFlag());
  EXPECT_FALSE(engine->TakeOverloadFlag());
}

TEST_F(ProcessingCycleTest, SoundInAndSoundOutAreSingleInstances) {
  auto first = factory.Create(*engine, "SoundOut", "");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Name(), "SoundOut");
  EXPECT_TRUE(engine->HasSoundOut());
  EXPECT_FALSE(first->OwnsProcessor());
  EXPECT_EQ(&first->Processor(), &engine->SoundOutProcessor());

  EXPECT_EQ(factory.Create(*engine, "SoundOut", ""), nullptr);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text,
            "Sorry, you are only permitted to create one instance of the SoundOut object.");
  EXPECT_EQ(messages.Messages()[0].caption, "Object instansiation failed!");
  EXPECT_EQ(messages.Messages()[0].icon, MessageIcon::Exclamation);

  auto soundIn = factory.Create(*engine, "SoundIn", "");
  ASSERT_NE(soundIn, nullptr);
  EXPECT_EQ(soundIn->Name(), "SoundIn");
  EXPECT_TRUE(engine->CanStartAudioIn());
  engine->SetUseInputFile(true);
  EXPECT_TRUE(engine->IsUsingInputFile());
  EXPECT_FALSE(engine->CanStartAudioIn());
  EXPECT_EQ(factory.Create(*engine, "SoundIn", ""), nullptr);
  EXPECT_EQ(messages.Messages().back().text,
            "Sorry, you are only permitted to create one instance of the SoundIn object.");

  // Deleting the contraption leaves the engine's processor alive and placeable again.
  engine->DestroyContraption(std::move(first));
  EXPECT_FALSE(engine->HasSoundOut());
  EXPECT_TRUE(engine->SoundOutProcessor().IsScheduled());
  auto again = factory.Create(*engine, "SoundOut", "");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Name(), "SoundOut");
  engine->DestroyContraption(std::move(again));
  engine->DestroyContraption(std::move(soundIn));
  EXPECT_FALSE(engine->HasSoundIn());
}

TEST_F(ProcessingCycleTest, ContraptionsJoinAndLeaveTheGraphThroughTheEngine) {
  factory.Emplace<TMakerTemplate<test::TestRingAM>>("TestRingAM", "Effects", 1007, false);
  auto ring = factory.Create(*engine, "TestRingAM", "");
  auto soundOut = factory.Create(*engine, "SoundOut", "");
  EXPECT_EQ(ring->Processor().Context(), nullptr);
  engine->AttachContraption(*ring);
  engine->AttachContraption(*soundOut);
  EXPECT_EQ(ring->Processor().Context(), &engine->GetContext());

  ASSERT_TRUE(engine->ConnectContraptions(*ring, 0, *soundOut, 0));  // replaces left
  EXPECT_FALSE(left->IsScheduled());
  EXPECT_TRUE(ring->Processor().IsScheduled());
  EXPECT_FALSE(engine->ConnectContraptions(*ring, 1, *soundOut, 0));
  ASSERT_TRUE(engine->DisconnectContraptions(*ring, 0, *soundOut, 0));
  EXPECT_FALSE(engine->DisconnectContraptions(*ring, 0, *soundOut, 0));

  engine->ConnectContraptions(*ring, 0, *soundOut, 1);
  engine->DestroyContraption(std::move(ring));
  EXPECT_FALSE(engine->SoundOutProcessor().IsInletConnected(1));
  engine->DestroyContraption(std::move(soundOut));
}

TEST(ProcessingCycleInputTest, SoundInReadsTheInputBufferBlockByBlock) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  auto in = std::make_unique<FakeInStream>();
  FakeInStream& fake = *in;
  TAudioEngineModule engine(factory, nullptr, std::move(in));
  auto soundIn = factory.Create(engine, "SoundIn", "");
  auto soundOut = factory.Create(engine, "SoundOut", "");
  engine.ConnectContraptions(*soundIn, 0, *soundOut, 0);
  engine.ConnectContraptions(*soundIn, 1, *soundOut, 1);

  engine.StartAudioIn();
  std::vector<int16_t> buffer(2 * 4096);
  engine.OutStreamFillBuffer(buffer.data(), 4096);
  EXPECT_EQ(fake.taken, 1);  // the first block fetched a fresh buffer, the rest read on
  const QSSignal& left = engine.SoundInProcessor().OutletAt(0).signal[0];
  EXPECT_EQ(left[5], (15 * 256 + 5) / 32768.0f);
  EXPECT_EQ(buffer[2 * 4095], 4095 * 32767 / 32768);  // passed on to the output
  EXPECT_EQ(buffer[2 * 4095 + 1], -4095 * 32767 / 32768);
  const auto m = engine.GetMeters();
  EXPECT_NEAR(m.inputLeft, 4095.0f / 32766.0f, 1e-6f);
  engine.OutStreamFillBuffer(buffer.data(), 256);
  EXPECT_EQ(fake.taken, 2);

  // Without a running input the outlets carry zeros.
  engine.StopAudioIn();
  engine.OutStreamFillBuffer(buffer.data(), 256);
  EXPECT_EQ(engine.SoundInProcessor().OutletAt(0).signal[0][7], 0.0f);
  EXPECT_EQ(engine.GetMeters().inputLeft, 0.0f);
  engine.DestroyContraption(std::move(soundIn));
  engine.DestroyContraption(std::move(soundOut));
}

}  // namespace processing_cycle_test
}  // namespace tg
