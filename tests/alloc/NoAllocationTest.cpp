// Counts every allocation of the process, to prove that a processing pass
// allocates nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "contraptions/RegisterContraptions.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "tests/support/TestProcessors.h"

namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  const auto a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace tg {
namespace {

using test::TestPipe;

TEST(NoAllocationTest, ProcessingPassesAndFillsAllocateNothing) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  TAudioEngineModule engine(factory);
  QSDynSigContext& context = engine.GetContext();

  // Fan-out, a feedback loop with its limiter, and the engine's SoundOut.
  auto* source = new TestPipe(&context, 0, 1, 0.1f);
  auto* loop = new TestPipe(&context, 2, 1);
  auto* tail = new TestPipe(&context, 1, 1);
  context.Connect(source, 0, loop, 0, false);
  context.Connect(tail, 0, loop, 1, false);
  context.Connect(loop, 0, tail, 0, false);
  context.Connect(loop, 0, &engine.SoundOutProcessor(), 0, false);
  context.Connect(source, 0, &engine.SoundOutProcessor(), 1, false);
  ASSERT_EQ(context.LimiterCount(), 1);
  context.Clock().SetRunning(true);

  std::vector<int16_t> buffer(2 * 4096);
  engine.OutStreamFillBuffer(buffer.data(), 4096);  // first pass outside the count

  const long before = gAllocations.load();
  for (int i = 0; i < 100; ++i) context.ProcessBlock();
  for (int i = 0; i < 20; ++i) engine.OutStreamFillBuffer(buffer.data(), 4096);
  engine.GetMeters();
  EXPECT_EQ(gAllocations.load() - before, 0);
}

TEST(NoAllocationTest, TheCounterSeesAllocations) {
  const long before = gAllocations.load();
  auto p = std::make_unique<int>(3);
  EXPECT_GT(gAllocations.load() - before, 0);
}

}  // namespace
}  // namespace tg
