#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "graph/QSDynSigContext.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace signal_graph_test {

using test::TestPipe;

class SignalGraphTest : public ::testing::Test {
 protected:
  // The context deletes whatever is still registered when it goes.
  TestPipe* Pipe(int inlets, int outlets, float constant = 0.0f) {
    return new TestPipe(&context, inlets, outlets, constant);
  }
  std::vector<QSDynSigPipe*> List(std::initializer_list<QSDynSigPipe*> pipes) { return pipes; }

  QSDynSigContext context;
};

TEST_F(SignalGraphTest, NewTerminalIsScheduledAtOnceButSourcesOnlyWhenTheyLeadSomewhere) {
  TestPipe* source = Pipe(0, 1);
  EXPECT_FALSE(source->IsScheduled());
  TestPipe* terminal = Pipe(1, 0);
  EXPECT_TRUE(terminal->IsScheduled());
  EXPECT_EQ(context.UpdateList(), List({terminal}));

  context.ProcessBlock();
  EXPECT_EQ(terminal->processCount, 1);
  EXPECT_EQ(source->processCount, 0);

  ASSERT_TRUE(context.Connect(source, 0, terminal, 0, false));
  EXPECT_EQ(context.UpdateList(), List({source, terminal}));
}

TEST_F(SignalGraphTest, ChainDiamondAndLoopOrders) {
  // Chain A → B → T.
  TestPipe* a = Pipe(1, 1);
  TestPipe* b = Pipe(1, 1);
  TestPipe* t = Pipe(2, 0);
  context.Connect(b, 0, t, 0, false);
  context.Connect(a, 0, b, 0, false);
  EXPECT_EQ(context.UpdateList(), List({a, b, t}));

  // Diamond: A → B, A → C, B → T:0, C → T:1; A runs once.
  TestPipe* c = Pipe(1, 1);
  context.Connect(a, 0, c, 0, false);
  context.Connect(c, 0, t, 1, false);
  EXPECT_EQ(context.UpdateList(), List({a, b, c, t}));
  context.ProcessBlock();
  EXPECT_EQ(a->processCount, 1);
  EXPECT_EQ(context.LimiterCount(), 0);

  // Loop: B → A closes a cycle; the limiter goes on B's outlet.
  context.Connect(b, 0, a, 0, false);
  EXPECT_EQ(context.UpdateList(), List({a, b, c, t}));
  ASSERT_EQ(context.LimiterCount(), 1);
  EXPECT_EQ(context.LimiterAt(0).sourcePipe, b);
  EXPECT_EQ(context.LimiterAt(0).sourceOutlet, 0);
}

TEST_F(SignalGraphTest, FeedbackLoopHasOneBlockDelay) {
  // A adds 1 to what B gave last pass; B passes A on. After n passes B holds n.
  TestPipe* a = Pipe(1, 1, 1.0f);
  TestPipe* b = Pipe(1, 1);
  TestPipe* t = Pipe(1, 0);
  context.Connect(b, 0, t, 0, false);
  context.Connect(a, 0, b, 0, false);
  context.Connect(b, 0, a, 0, false);
  context.ProcessBlock();
  EXPECT_NEAR(b->Out(0)[0], 1.0f, 1e-3f);  // through the DC blocker
  context.ProcessBlock();
  // The limiter keeps the loop at or below the threshold of 1.
  EXPECT_LE(std::abs(b->Out(0)[kBlockSize - 1]), 2.0f);
}

TEST_F(SignalGraphTest, OneLimiterPerOutletAndItSurvivesRebuildsWhileItsLoopDoes) {
  TestPipe* a = Pipe(2, 1);
  TestPipe* b = Pipe(1, 1);
  TestPipe* t = Pipe(1, 0);
  context.Connect(b, 0, t, 0, false);
  context.Connect(a, 0, b, 0, false);
  context.Connect(b, 0, a, 0, false);
  context.Connect(b, 0, a, 1, false);  // a second feedback wire from the same outlet
  ASSERT_EQ(context.LimiterCount(), 1);
  const auto* limiter = &context.LimiterAt(0);

  // Drive the loop hard so the limiter has state worth keeping.
  b->Out(0).Fill(8.0f);
  context.ProcessBlock();
  const float gain = limiter->limiter.Gain();
  EXPECT_LT(gain, 1.0f);

  // An unrelated change rebuilds the list; the very same limiter stays.
  TestPipe* other = Pipe(0, 1);
  TestPipe* t2 = Pipe(1, 0);
  context.Connect(other, 0, t2, 0, false);
  ASSERT_EQ(context.LimiterCount(), 1);
  EXPECT_EQ(&context.LimiterAt(0), limiter);
  EXPECT_EQ(context.LimiterAt(0).limiter.Gain(), gain);

  // Opening the loop leaves the limiter until the next rebuild (b keeps a consumer).
  context.Disconnect(b, 0, a, 0);
  context.Disconnect(b, 0, a, 1);
  EXPECT_EQ(context.LimiterCount(), 1);
  context.Disconnect(other, 0, t2, 0);  // any rebuild
  EXPECT_EQ(context.LimiterCount(), 0);
}

TEST_F(SignalGraphTest, ReplaceDisconnectsTheOldSourceFirst) {
  TestPipe* s1 = Pipe(0, 1);
  TestPipe* s2 = Pipe(0, 1);
  TestPipe* t = Pipe(1, 0);
  ASSERT_TRUE(context.Connect(s1, 0, t, 0, false));
  EXPECT_FALSE(context.Connect(s2, 0, t, 0, false));  // occupied
  EXPECT_EQ(t->InletAt(0).source, s1);

  t->inletChanges.clear();
  ASSERT_TRUE(context.Connect(s2, 0, t, 0, true));
  EXPECT_EQ(t->inletChanges, (std::vector<int>{0, 0}));  // disconnect, then connect
  EXPECT_EQ(t->InletAt(0).source, s2);
  EXPECT_TRUE(s1->OutletAt(0).references.empty());
  EXPECT_FALSE(s1->IsScheduled());
  EXPECT_EQ(context.UpdateList(), List({s2, t}));
}

TEST_F(SignalGraphTest, LosingTheLastConsumerUnschedulesASourceAndWhatFedOnlyIt) {
  TestPipe* feeder = Pipe(0, 1);
  TestPipe* s = Pipe(1, 1);
  TestPipe* t1 = Pipe(1, 0);
  TestPipe* t2 = Pipe(1, 0);
  context.Connect(feeder, 0, s, 0, false);
  context.Connect(s, 0, t1, 0, false);
  context.Connect(s, 0, t2, 0, false);

  ASSERT_TRUE(context.Disconnect(s, 0, t1, 0));
  EXPECT_TRUE(s->IsScheduled());
  EXPECT_TRUE(feeder->IsScheduled());

  ASSERT_TRUE(context.Disconnect(s, 0, t2, 0));
  EXPECT_FALSE(s->IsScheduled());
  EXPECT_FALSE(feeder->IsScheduled());
  EXPECT_EQ(context.UpdateList(), List({t1, t2}));
}

TEST_F(SignalGraphTest, BadIndicesAndMismatchedDisconnectsChangeNothing) {
  TestPipe* s = Pipe(0, 1);
  TestPipe* t = Pipe(1, 0);
  EXPECT_FALSE(context.Connect(s, 1, t, 0, false));
  EXPECT_FALSE(context.Connect(s, -1, t, 0, false));
  EXPECT_FALSE(context.Connect(s, 0, t, 1, false));
  EXPECT_FALSE(context.Disconnect(s, 0, t, 0));
  context.Connect(s, 0, t, 0, false);
  TestPipe* other = Pipe(0, 1);
  EXPECT_FALSE(context.Disconnect(other, 0, t, 0));
  EXPECT_EQ(t->InletAt(0).source, s);
}

TEST_F(SignalGraphTest, UnconnectedInletReadsExactZerosAndOutletSignalsPropagate) {
  TestPipe* t = Pipe(1, 0);
  EXPECT_FALSE(t->IsInletConnected(0));
  for (int i = 0; i < kBlockSize; ++i) ASSERT_EQ(t->InletSignal(0)[i], 0.0f);

  TestPipe* s = Pipe(0, 1, 0.25f);
  context.Connect(s, 0, t, 0, false);
  context.ProcessBlock();
  EXPECT_EQ(t->InletSignal(0)[17], 0.25f);

  QSSignal replacement(0.75f);
  t->inletChanges.clear();
  s->SetOutletSignal(0, &replacement);
  EXPECT_EQ(&t->InletSignal(0), &replacement);
  EXPECT_EQ(t->inletChanges, std::vector<int>{0});
  s->SetOutletSignal(0, &s->Out(0));
}

TEST_F(SignalGraphTest, DeletingAPipeUnwiresItAndATerminalRemovalRebuilds) {
  TestPipe* a = Pipe(0, 1);
  TestPipe* b = Pipe(1, 1);
  TestPipe* t = Pipe(1, 0);
  context.Connect(a, 0, b, 0, false);
  context.Connect(b, 0, t, 0, false);

  delete b;
  EXPECT_TRUE(a->OutletAt(0).references.empty());
  EXPECT_FALSE(t->IsInletConnected(0));
  EXPECT_EQ(context.UpdateList(), List({t}));
  EXPECT_EQ(context.AllPipes(), List({a, t}));

  context.Connect(a, 0, t, 0, false);
  delete t;
  EXPECT_TRUE(context.UpdateList().empty());
  EXPECT_TRUE(context.TerminalPipes().empty());
  EXPECT_FALSE(a->IsScheduled());
}

TEST_F(SignalGraphTest, DestroyingAContextWithAWiredLoopDeletesEveryPipeOnce) {
  // Under the asan preset, a rebuild that visits a deleted pipe fails this too.
  struct CountedPipe final : TestPipe {
    CountedPipe(QSDynSigContext* c, int inlets, int outlets, int& deleted)
        : TestPipe(c, inlets, outlets), deleted_(deleted) {}
    ~CountedPipe() override { ++deleted_; }
    int& deleted_;
  };
  int deleted = 0;
  auto ctx = std::make_unique<QSDynSigContext>();
  auto* a = new CountedPipe(ctx.get(), 1, 1, deleted);
  auto* b = new CountedPipe(ctx.get(), 1, 1, deleted);
  auto* t = new CountedPipe(ctx.get(), 2, 0, deleted);
  ctx->Connect(a, 0, b, 0, false);
  ctx->Connect(b, 0, a, 0, false);
  ctx->Connect(b, 0, t, 0, false);
  ctx->Connect(a, 0, t, 1, false);
  ASSERT_EQ(ctx->LimiterCount(), 1);  // the loop is there
  ASSERT_EQ(ctx->UpdateList().size(), 3u);
  ctx.reset();
  EXPECT_EQ(deleted, 3);
}

TEST_F(SignalGraphTest, AVeryLongChainBuildsWithoutExhaustingTheStack) {
  constexpr int kLength = 200000;
  // Wired from the source end, so that only the last connection rebuilds.
  TestPipe* first = Pipe(0, 1);
  QSDynSigPipe* last = first;
  for (int i = 1; i < kLength; ++i) {
    TestPipe* p = Pipe(1, 1);
    context.Connect(last, 0, p, 0, false);
    last = p;
  }
  TestPipe* t = Pipe(1, 0);
  context.Connect(last, 0, t, 0, false);
  ASSERT_EQ(static_cast<int>(context.UpdateList().size()), kLength + 1);
  EXPECT_EQ(context.UpdateList().front(), first);
  EXPECT_EQ(context.UpdateList().back(), t);
}

TEST_F(SignalGraphTest, ResetAllResetsScheduledPipesOnly) {
  TestPipe* idle = Pipe(0, 1);
  TestPipe* s = Pipe(0, 1);
  TestPipe* t = Pipe(1, 0);
  context.Connect(s, 0, t, 0, false);
  context.ResetAll();
  EXPECT_EQ(idle->resetCount, 0);
  EXPECT_EQ(s->resetCount, 1);
  EXPECT_EQ(t->resetCount, 1);
}

TEST_F(SignalGraphTest, DumpListsAllTerminalAndScheduledPipes) {
  TestPipe* s = Pipe(0, 1);
  TestPipe* t = Pipe(1, 0);
  context.Connect(s, 0, t, 0, false);
  std::ostringstream out;
  context.Dump(out);
  std::ostringstream expected;
  auto line = [&](const void* p) { expected << "\ttg::test::TestPipe\t [ " << p << " ]\n"; };
  expected << "All Pipes:\n";
  line(s);
  line(t);
  expected << "Terminal Pipes:\n";
  line(t);
  expected << "Update List:\n";
  line(s);
  line(t);
  EXPECT_EQ(out.str(), expected.str());
}

TEST_F(SignalGraphTest, RunningClockAdvancesByOneBlockOfTicksPerPass) {
  context.ProcessBlock();
  EXPECT_EQ(context.Clock().Position(), 0.0);
  context.Clock().SetRunning(true);
  context.ProcessBlock();
  EXPECT_NEAR(context.Clock().Position(), 256.0 / 918.75, 1e-12);
}

}  // namespace signal_graph_test
}  // namespace tg
