#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "contraptions/RegisterContraptions.h"
#include "engine/TAudioEngineModule.h"
#include "engine/streams/DetachedOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace {

// One thread plays the audio thread, filling buffers under the engine lock as
// fast as it can; this thread edits the graph and parameters meanwhile, as the
// user-interface thread does. Meant for the tsan preset.
TEST(EngineConcurrencyTest, GraphAndParameterEditsRaceFreeWithTheProcessingCycle) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  factory.Emplace<TMakerTemplate<test::TestRingAM>>("RingAM", "Effects", 1007, false);
  auto stream = std::make_unique<DetachedOutStream>(4, 4096);
  DetachedOutStream* out = stream.get();
  TAudioEngineModule engine(factory, std::move(stream));
  auto soundOut = factory.Create(engine, "SoundOut", "");
  engine.AttachContraption(*soundOut);
  engine.StartAudioOut();
  engine.StartPauseClock();

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
      live.push_back(factory.Create(engine, "RingAM", ""));
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
    }
  }
  stop.store(true);
  audio.join();
  EXPECT_GE(fills.load(), 200);

  engine.StopAudioOut();
  for (auto& c : live) engine.DestroyContraption(std::move(c));
  engine.DestroyContraption(std::move(soundOut));
}

}  // namespace
}  // namespace tg
