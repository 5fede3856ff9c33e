#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dsp/QSNoiseSource.h"
#include "graph/GraphSchedule.h"
#include "graph/ProcessingPool.h"
#include "graph/QSDynSigContext.h"
#include "graph/SharingJudge.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace shared_pass_test {

// A pipe whose output depends on the exact order of everything it reads and
// on its own history, so any pass that reads a signal too early or too late,
// or runs a pipe twice, shows up in the bytes.
class Stirrer final : public QSDynSigPipe {
 public:
  Stirrer(QSDynSigContext* context, int inlets, int outlets, uint32_t seed)
      : QSDynSigPipe(context, inlets, outlets), outs_(static_cast<size_t>(outlets)), noise_(seed) {
    for (int o = 0; o < outlets; ++o) SetOutletSignal(o, &outs_[static_cast<size_t>(o)]);
  }
  void Process() override {
    for (int o = 0; o < OutletCount(); ++o) {
      QSSignal& out = outs_[static_cast<size_t>(o)];
      for (int i = 0; i < kBlockSize; ++i) {
        float x = static_cast<float>(noise_.Next() * 0.01);
        for (int k = 0; k < InletCount(); ++k) x += InletSignal(k)[i] * (0.3f + 0.1f * k);
        state_ = 0.9f * state_ + 0.1f * std::tanh(x + 0.05f * o);
        out[i] = state_;
      }
    }
  }
  const QSSignal& Out(int o) const { return outs_[static_cast<size_t>(o)]; }

 private:
  std::vector<QSSignal> outs_;
  QSNoiseSource noise_;
  float state_ = 0.0f;
};

// Pipes that all write one log, as pipes that share engine state do: they
// must keep their list order among themselves.
class Logger final : public QSDynSigPipe {
 public:
  Logger(QSDynSigContext* context, int id, std::vector<int>& log, size_t& used)
      : QSDynSigPipe(context, 1, 1), id_(id), log_(log), used_(used) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    if (used_ < log_.size()) log_[used_++] = id_;
    out_.CopyFrom(InletSignal(0));
  }
  bool SharesEngineState() const override { return true; }

 private:
  int id_;
  std::vector<int>& log_;
  size_t& used_;
  QSSignal out_;
};

// A random patch of stirrers, the same for the same seed: wires forwards and
// backwards (feedback loops), fan-in and fan-out, several terminals.
struct RandomPatch {
  RandomPatch(uint32_t seed, int pipes) {
    QSNoiseSource::FixSeeds(seed);  // the loops' limiters get the same noise
    std::mt19937 random(seed);
    for (int p = 0; p < pipes; ++p) {
      const int inlets = 1 + static_cast<int>(random() % 3);
      const int outlets = p % 7 == 6 ? 0 : 1 + static_cast<int>(random() % 2);
      stirrers.push_back(new Stirrer(&context, inlets, outlets, seed * 1000u + p));
    }
    // Five voices wired among themselves, with a wire between them now and then.
    auto pick = [&](int p) {
      const auto voice = static_cast<size_t>(random() % 8 == 0 ? random() % 5 : p % 5);
      return stirrers[std::min(voice + 5 * (random() % (stirrers.size() / 5)),
                               stirrers.size() - 1)];
    };
    for (int p = 0; p < pipes; ++p) {
      Stirrer* to = stirrers[static_cast<size_t>(p)];
      for (int k = 0; k < to->InletCount(); ++k) {
        Stirrer* from = pick(p);
        if (from->OutletCount() == 0) continue;
        context.Connect(from, static_cast<int>(random() % from->OutletCount()), to, k, true);
      }
    }
    for (int k = 0; k < 3; ++k) {
      loggers.push_back(new Logger(&context, k, log, used));
      context.Connect(stirrers[static_cast<size_t>(k)], 0, loggers.back(), 0, false);
      context.Connect(loggers.back(), 0, stirrers[6], 0, true);  // a terminal
    }
  }
  // Every outlet of every pipe after the block, in one vector.
  std::vector<float> Run() {
    used = 0;
    context.ProcessBlock();
    std::vector<float> all;
    for (const Stirrer* s : stirrers) {
      for (int o = 0; o < s->OutletCount(); ++o) {
        all.insert(all.end(), s->Out(o).Data(), s->Out(o).Data() + kBlockSize);
      }
    }
    return all;
  }

  QSDynSigContext context;
  std::vector<Stirrer*> stirrers;  // owned by the context
  std::vector<Logger*> loggers;
  std::vector<int> log = std::vector<int>(16, -1);
  size_t used = 0;
};

bool SameBytes(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(SharedPassTest, EveryPatchSoundsTheSameOnOneThreadAndOnSeveral) {
  for (const int threads : {2, 3}) {
    ProcessingPool pool(threads);
    int patches = 0;
    for (uint32_t seed = 1; patches < 10 && seed < 100; ++seed) {
      SCOPED_TRACE(testing::Message() << threads << " threads, patch " << seed);
      RandomPatch alone(seed, 40);
      RandomPatch shared(seed, 40);
      shared.context.SetPool(&pool);
      // Loops are part of the test; a patch with too long a chain is not shared.
      if (alone.context.LimiterCount() == 0 || !shared.context.SharesPasses()) continue;
      ++patches;
      for (int block = 0; block < 40; ++block) {
        ASSERT_TRUE(SameBytes(alone.Run(), shared.Run())) << "block " << block;
        ASSERT_EQ(alone.log, shared.log);
      }
      shared.context.SetPool(nullptr);
    }
    EXPECT_EQ(patches, 10);
  }
}

// A source that depends on nothing but itself, and counts the times it made
// a block before the test began that block.
class AheadSource final : public QSDynSigPipe {
 public:
  AheadSource(QSDynSigContext* context, uint32_t seed, const std::atomic<int>& blocksBegun)
      : QSDynSigPipe(context, 0, 1), noise_(seed), blocksBegun_(blocksBegun) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    if (++runs > blocksBegun_.load()) ++ranAhead;
    for (int i = 0; i < kBlockSize; ++i) {
      state_ = 0.7f * state_ + static_cast<float>(noise_.Next() * 0.1);
      out_[i] = state_;
    }
  }
  bool MayRunAhead() const override { return true; }

  int runs = 0;
  int ranAhead = 0;

 private:
  QSSignal out_;
  QSNoiseSource noise_;
  const std::atomic<int>& blocksBegun_;
  float state_ = 0.0f;
};

// Twelve sources, each through a stirrer, into two stirring "mixers", one
// more stirrer and a terminal.
struct SourcesPatch {
  SourcesPatch() {
    auto* end = new Stirrer(&context, 2, 1, 1);
    for (int m = 0; m < 2; ++m) {
      auto* mixer = new Stirrer(&context, 6, 1, 10u + m);
      context.Connect(mixer, 0, end, m, false);
      for (int k = 0; k < 6; ++k) {
        sources.push_back(new AheadSource(&context, 100u + 6u * m + k, blocksBegun));
        auto* chain = new Stirrer(&context, 1, 1, 200u + 6u * m + k);
        context.Connect(sources.back(), 0, chain, 0, false);
        context.Connect(chain, 0, mixer, k, false);
      }
    }
    context.Connect(end, 0, new test::TestPipe(&context, 1, 0), 0, false);  // the terminal
    out = &end->Out(0);
  }
  std::vector<float> Run(bool anotherFollows) {
    blocksBegun.fetch_add(1);
    context.ProcessBlock(anotherFollows);
    return std::vector<float>(out->Data(), out->Data() + kBlockSize);
  }

  std::atomic<int> blocksBegun{0};
  QSDynSigContext context;
  std::vector<AheadSource*> sources;  // owned by the context
  const QSSignal* out = nullptr;
};

TEST(SharedPassTest, SourcesRunAheadOnlyWithinABurstAndNothingDownstreamCanTell) {
  ProcessingPool pool(2);
  SourcesPatch alone;
  SourcesPatch shared;
  shared.context.SetPool(&pool);
  shared.context.SetJudgeCycle(0, 0);  // every pass shared
  ASSERT_TRUE(shared.context.SharesPasses());
  auto ranAhead = [&] {
    int n = 0;
    for (const AheadSource* s : shared.sources) n += s->ranAhead;
    return n;
  };
  // Bursts of four blocks, as a device buffer of four blocks comes.
  for (int burst = 0; burst < 200; ++burst) {
    for (int block = 0; block < 4; ++block) {
      const bool more = block < 3;
      ASSERT_TRUE(SameBytes(alone.Run(more), shared.Run(more))) << "burst " << burst;
    }
    // Never past the burst's end: the graph may change now.
    for (const AheadSource* s : shared.sources) ASSERT_EQ(s->runs, 4 * (burst + 1));
  }
  EXPECT_GT(ranAhead(), 0);
  shared.context.SetPool(nullptr);
}

TEST(SharedPassTest, EditsBetweenPassesReachTheSchedule) {
  ProcessingPool pool(2);
  RandomPatch alone(99, 30);
  RandomPatch shared(99, 30);
  shared.context.SetPool(&pool);
  std::mt19937 random(5);
  int sharedRounds = 0;
  for (int round = 0; round < 60; ++round) {
    // The same edit to both: rewire, add a pipe, or delete one.
    const int action = static_cast<int>(random() % 3);
    const size_t a = random() % alone.stirrers.size();
    const size_t b = random() % alone.stirrers.size();
    for (RandomPatch* patch : {&alone, &shared}) {
      QSNoiseSource::FixSeeds(1000u + static_cast<uint32_t>(round));  // new loops' limiters
      auto& s = patch->stirrers;
      if (action == 0 && s[a]->OutletCount() > 0) {
        patch->context.Connect(s[a], 0, s[b], 0, true);
      } else if (action == 1) {
        s.push_back(new Stirrer(&patch->context, 1, 1, 7u + static_cast<uint32_t>(round)));
        patch->context.Connect(s.back(), 0, s[b], 0, true);
        patch->context.Connect(s[a], 0, s.back(), 0, false);
      } else if (action == 2 && s.size() > 10 && a >= 3) {
        delete s[a];
        s.erase(s.begin() + static_cast<long>(a));
      }
    }
    if (shared.context.SharesPasses()) ++sharedRounds;
    for (int block = 0; block < 3; ++block) {
      ASSERT_TRUE(SameBytes(alone.Run(), shared.Run())) << "round " << round;
    }
  }
  EXPECT_GT(sharedRounds, 30);
  shared.context.SetPool(nullptr);
}

TEST(SharedPassTest, TheScheduleOrdersExactlyWhatMustBeOrdered) {
  QSDynSigContext context;
  using test::TestPipe;
  // a → b → t:0, c → t:1, b → a closes a loop: a is read a block late.
  auto* a = new TestPipe(&context, 1, 1);
  auto* b = new TestPipe(&context, 1, 1);
  auto* c = new TestPipe(&context, 0, 1);
  auto* t = new TestPipe(&context, 2, 0);
  context.Connect(a, 0, b, 0, false);
  context.Connect(b, 0, t, 0, false);
  context.Connect(c, 0, t, 1, false);
  context.Connect(b, 0, a, 0, false);
  ProcessingPool pool(1);
  context.SetPool(&pool);
  const GraphSchedule& schedule = context.Schedule();
  const auto& list = context.UpdateList();
  auto at = [&](const QSDynSigPipe* p) {
    return static_cast<int>(std::find(list.begin(), list.end(), p) - list.begin());
  };
  ASSERT_EQ(schedule.Size(), 4);
  EXPECT_TRUE(schedule.PredecessorsOf(at(a)).empty());
  EXPECT_EQ(schedule.PredecessorsOf(at(b)), std::vector<int>{at(a)});  // and a waits for b's read
  EXPECT_TRUE(schedule.PredecessorsOf(at(c)).empty());                 // free to run any time
  std::vector<int> beforeT = schedule.PredecessorsOf(at(t));
  std::sort(beforeT.begin(), beforeT.end());
  std::vector<int> expected{at(b), at(c)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(beforeT, expected);
  EXPECT_EQ(schedule.CriticalPath(), 3);
  // Four pipes in a chain of three: not worth a second thread.
  EXPECT_FALSE(schedule.WorthSharing());
  context.SetPool(nullptr);
}

TEST(SharedPassTest, HelpersSleepWhenThereIsNothingToShare) {
  ProcessingPool pool(3);
  QSDynSigContext context;
  auto* source = new test::TestPipe(&context, 0, 1, 0.5f);
  auto* sink = new test::TestPipe(&context, 1, 0);
  context.Connect(source, 0, sink, 0, false);
  context.SetPool(&pool);
  EXPECT_FALSE(context.SharesPasses());  // too small to gain
  for (int block = 0; block < 10; ++block) context.ProcessBlock();
  EXPECT_EQ(sink->processCount.load(), 10);
  EXPECT_TRUE(test::WaitUntil([&] { return pool.SleepingHelpers() == 2; }));
  context.SetPool(nullptr);
}

// A helper the system puts aside between taking a pipe and beginning it
// holds up no one: the other thread takes the pipe back, every block
// completes while the helper is away, and the output is the one thread's.
// It is put aside at its third pipe, with the count of the two before it
// not yet told.
std::atomic<int> helperClaims{0};
std::atomic<bool> helperMayGoOn{false};
std::atomic<bool> helperWaitedInVain{false};

void PutTheHelperAside(int self, int32_t) {
  if (self != 1 || helperClaims.fetch_add(1) != 2) return;
  const auto start = std::chrono::steady_clock::now();
  while (!helperMayGoOn.load()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) {
      helperWaitedInVain.store(true);  // the pass waited for it: the fault
      return;
    }
    std::this_thread::yield();
  }
}

TEST(SharedPassTest, APipeTakenButNotBegunByAHelperPutAsideIsTakenBack) {
  ProcessingPool pool(2);
  RandomPatch alone(3, 60);
  RandomPatch shared(3, 60);
  shared.context.SetPool(&pool);
  shared.context.SetJudgeCycle(0, 0);  // every pass shared
  ASSERT_TRUE(shared.context.SharesPasses());
  GraphSchedule::SetClaimHook(PutTheHelperAside);
  int blocks = 0;
  for (; helperClaims.load() < 3 && blocks < 100000; ++blocks) {
    ASSERT_TRUE(SameBytes(alone.Run(), shared.Run())) << "block " << blocks;
  }
  ASSERT_GE(helperClaims.load(), 3) << "the helper never took a third pipe";
  for (int block = 0; block < 200; ++block) {
    ASSERT_TRUE(SameBytes(alone.Run(), shared.Run()))
        << "block " << block << " with the helper away";
  }
  EXPECT_FALSE(helperWaitedInVain.load());
  helperMayGoOn.store(true);
  for (int block = 0; block < 20; ++block) ASSERT_TRUE(SameBytes(alone.Run(), shared.Run()));
  GraphSchedule::SetClaimHook(nullptr);
  shared.context.SetPool(nullptr);
}

// The judge, fed made-up pass times: which way it runs the passes between
// its probes, and how many it ran on one thread.
struct JudgeCase {
  const char* name;
  int64_t shared, alone, budget;
  bool sharingPays;
  int alonePasses;  // of three cycles of 40 passes, probes of 4, after the warm-up
};

void PrintTo(const JudgeCase& c, std::ostream* out) { *out << c.name; }

class SharingJudgeTest : public testing::TestWithParam<JudgeCase> {};

TEST_P(SharingJudgeTest, RunsTheFasterWayAndNeverTriesOneThreadTooSlowForTheBlock) {
  const JudgeCase& c = GetParam();
  SharingJudge judge(c.budget);
  judge.SetCycle(4, 40);
  judge.Restart(2);
  int alonePasses = 0;
  bool nextSurelyShared = false;
  for (int pass = 0; pass < 32 + 120; ++pass) {  // the warm-up: all but the probe of a cycle
    const bool share = judge.Share();
    // Helpers may begin a pass only when it will be shared.
    if (nextSurelyShared) {
      ASSERT_TRUE(share) << "pass " << pass;
    }
    nextSurelyShared = share && judge.NextSurelyShared();
    if (!share) ++alonePasses;
    judge.Took(share ? c.shared : c.alone);
  }
  EXPECT_EQ(judge.SharingPays(), c.sharingPays);
  EXPECT_EQ(alonePasses, c.alonePasses);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SharingJudgeTest,
    testing::Values(JudgeCase{"SharingFaster", 100, 200, 10000, true, 12},
                    JudgeCase{"OneThreadFaster", 200, 100, 10000, false, 3 * 36},
                    // Sharing must win by 5%, or one thread goes on alone.
                    JudgeCase{"SharingBarelyFaster", 97, 100, 10000, false, 3 * 36},
                    // Two threads could take 2 × 300: more than half the block.
                    JudgeCase{"TooHeavyForOneThread", 300, 100, 1000, true, 0}),
    [](const auto& way) { return std::string(way.param.name); });

// A pass of a patch that grew heavier on one thread gives its helpers back
// at once, not at the next probe.
TEST(SharingJudgeTest, OneThreadThatGrowsTooSlowGetsItsHelpersBack) {
  SharingJudge judge(1000);
  judge.SetCycle(4, 400);
  judge.Restart(2);
  int pass = 0;
  for (; pass < SharingJudge::kWarmUpBlocks + 12; ++pass) judge.Took(judge.Share() ? 200 : 100);
  ASSERT_FALSE(judge.SharingPays());
  const int slowFrom = pass;
  for (; pass < slowFrom + 30 && !judge.Share(); ++pass) judge.Took(900);
  EXPECT_TRUE(judge.SharingPays());
  EXPECT_LT(pass - slowFrom, 10);
}

// Passes timed both ways, switching every few blocks, within bursts whose
// sources run ahead: the output is still the one thread's.
TEST(SharedPassTest, SwitchingBetweenOneThreadAndSharingNeverChangesTheOutput) {
  ProcessingPool pool(2);
  SourcesPatch alone;
  SourcesPatch shared;
  shared.context.SetPool(&pool);
  shared.context.SetJudgeCycle(2, 7);
  ASSERT_TRUE(shared.context.SharesPasses());
  for (int burst = 0; burst < 150; ++burst) {
    for (int block = 0; block < 4; ++block) {
      const bool more = block < 3;
      ASSERT_TRUE(SameBytes(alone.Run(more), shared.Run(more))) << "burst " << burst;
    }
  }
  for (const AheadSource* s : shared.sources) EXPECT_EQ(s->runs, 600);
  shared.context.SetPool(nullptr);
}

}  // namespace shared_pass_test
}  // namespace tg
