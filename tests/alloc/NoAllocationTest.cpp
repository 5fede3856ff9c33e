// Counts every allocation of the process, to prove that a processing pass
// allocates nothing; and, per thread, allocations and frees, for work that
// runs beside a worker thread of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "engine/streams/KWWaveInStream.h"
#include "files/loading/SoundLoader.h"
#include "files/loading/SoundSlot.h"
#include "framework/TContraptionFactory.h"
#include "framework/TContraptionMaker.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "tests/conformance/ConformanceHarness.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestProcessors.h"

namespace {
std::atomic<long> gAllocations{0};
thread_local long tAllocations = 0;
thread_local long tFrees = 0;

void CountFree(void* p) {
  if (p != nullptr) ++tFrees;
}
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  ++tAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void* operator new(std::size_t size, std::align_val_t align) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  ++tAllocations;
  const auto a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size, std::align_val_t align) {
  return operator new(size, align);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::align_val_t) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::align_val_t) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  CountFree(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  CountFree(p);
  std::free(p);
}

// Counts, per thread, every mutex locked (std::mutex and its kin end here).
namespace {
thread_local long tLocks = 0;
using MutexCall = int (*)(pthread_mutex_t*);
MutexCall NextMutexCall(const char* name) {
  return reinterpret_cast<MutexCall>(dlsym(RTLD_NEXT, name));
}
}  // namespace
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  static const MutexCall next = NextMutexCall("pthread_mutex_lock");
  ++tLocks;
  return next(mutex);
}
extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex) noexcept {
  static const MutexCall next = NextMutexCall("pthread_mutex_trylock");
  ++tLocks;
  return next(mutex);
}

namespace tg {
namespace {

using test::TestPipe;

// 500 frames of one level.
void WriteLevel(const std::string& name, int rate, int channels, float level) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(name.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  const float frame[2] = {level, level};
  for (int i = 0; i < 500; ++i) sf_writef_float(file, frame, 1);
  sf_close(file);
}

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

TEST(NoAllocationTest, TakingNewSoundAndLettingGoOfTheOldNeitherAllocatesNorLocks) {
  test::TempDir dir;
  const std::string names[] = {dir / "a.wav", dir / "b.wav"};
  WriteLevel(names[0], 44100, 1, 0.25f);
  WriteLevel(names[1], 22050, 2, -0.5f);
  const int64_t live = SoundData::LiveCount();
  SoundLoader loader;
  SoundSlot slot(SoundConversion::Frames(4096), loader);

  long allocations = 0;
  long frees = 0;
  long locks = 0;
  const SoundData* playing = nullptr;
  for (int round = 0; round < 50; ++round) {
    slot.Load(names[round % 2]);
    loader.WaitUntilIdle();  // published, not yet taken
    const long allocationsBefore = tAllocations;
    const long freesBefore = tFrees;
    const long locksBefore = tLocks;
    // The audio side: takes the new data, hands the old to the worker, and
    // plays on for a while.
    const SoundData* arrived = slot.Acquire();
    for (int block = 0; block < 10; ++block) slot.Acquire();
    allocations += tAllocations - allocationsBefore;
    frees += tFrees - freesBefore;
    locks += tLocks - locksBefore;
    ASSERT_NE(arrived, playing) << round;
    playing = arrived;
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(frees, 0);
  EXPECT_EQ(locks, 0);
  loader.WaitUntilIdle();
  EXPECT_EQ(SoundData::LiveCount(), live + 1);  // the worker freed all it was handed
}

// The audio thread's side of the input stream (taking the latest buffer and
// reading a block from it) neither locks nor allocates, while the stream's
// own thread hands the buffers on.
TEST(NoAllocationTest, TheInputStreamsAudioSideNeitherLocksNorAllocates) {
  test::ManualWaveDeviceLayer layer;
  KWWaveInStream in(layer);
  in.SetBuffers(4, 1024);
  in.Start();
  long allocations = 0, frees = 0, locks = 0;
  for (int round = 1; round <= 20; ++round) {
    ASSERT_TRUE(test::CaptureNext(layer.in, static_cast<int16_t>(round)));
    ASSERT_TRUE(test::WaitUntil([&] {
      std::lock_guard lock(layer.in.mutex);
      return layer.in.added.size() == 4;  // handed on and back to the device
    }));
    const long allocationsBefore = tAllocations, freesBefore = tFrees, locksBefore = tLocks;
    in.TakeNextBuffer();
    const int16_t* data = in.BeginRead();
    const int value = data == nullptr ? -1 : data[0];
    in.EndRead();
    in.TakeNextBuffer();  // nothing new: the same buffer again
    allocations += tAllocations - allocationsBefore;
    frees += tFrees - freesBefore;
    locks += tLocks - locksBefore;
    EXPECT_EQ(value, round);
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(frees, 0);
  EXPECT_EQ(locks, 0);
  in.Stop();

  std::mutex mutex;  // the lock counter sees locks
  const long locksBefore = tLocks;
  { std::lock_guard lock(mutex); }
  EXPECT_EQ(tLocks - locksBefore, 1);
}

// A contraption of a type in the engine's graph, fed a constant on every
// inlet, every outlet read.
std::unique_ptr<TGardeningContraption> Fed(TAudioEngineModule& engine, TContraptionFactory& factory,
                                           const std::string& type) {
  auto contraption = factory.Create(engine, type, "");
  if (contraption == nullptr) return nullptr;
  engine.AttachContraption(*contraption);
  QSDynSigContext& context = engine.GetContext();
  QSSignalProcessor& p = contraption->Processor();
  for (int i = 0; i < p.InletCount(); ++i) {
    context.Connect(new TestPipe(&context, 0, 1, 0.25f), 0, &p, i, false);
  }
  auto* sink = new TestPipe(&context, std::max(1, p.OutletCount()), 0);
  for (int o = 0; o < p.OutletCount(); ++o) context.Connect(&p, o, sink, o, false);
  return contraption;
}

// Every registered type, fed on every inlet, processes ten seconds without
// one allocation, as new and with every parameter moved.
TEST(NoAllocationTest, EveryContraptionTypeProcessesWithoutAllocating) {
  for (const std::string& type : test::RegisteredTypeNames()) {
    TContraptionFactory factory;
    test::RegisterTypesUnderTest(factory);
    TAudioEngineModule engine(factory);
    QSDynSigContext& context = engine.GetContext();
    auto contraption = Fed(engine, factory, type);
    ASSERT_NE(contraption, nullptr) << type;
    QSSignalProcessor& p = contraption->Processor();
    context.ProcessBlock();  // anything made once, on the first pass, is made now
    const int blocks = static_cast<int>(10 * kSampleRate / kBlockSize);
    // Counted on this thread only: the passes run here; SoundOut's worker does not.
    long allocations = 0;
    for (int half = 0; half < 2; ++half) {
      if (half == 1) test::MoveEveryParameter(p);  // the UI thread's work, not counted
      const long before = tAllocations;
      for (int b = 0; b < blocks / 2; ++b) context.ProcessBlock();
      allocations += tAllocations - before;
    }
    EXPECT_EQ(allocations, 0) << type;
    engine.DestroyContraption(std::move(contraption));
  }
}

TEST(NoAllocationTest, APanicResetsEveryContraptionTypeWithoutAllocating) {
  for (const std::string& type : test::RegisteredTypeNames()) {
    TContraptionFactory factory;
    test::RegisterTypesUnderTest(factory);
    TAudioEngineModule engine(factory);
    QSDynSigContext& context = engine.GetContext();
    auto contraption = Fed(engine, factory, type);
    ASSERT_NE(contraption, nullptr) << type;
    context.Clock().SetRunning(true);
    for (int b = 0; b < 200; ++b) context.ProcessBlock();
    const long allocations = tAllocations, frees = tFrees;
    context.ResetSounds();
    context.ProcessBlock();
    EXPECT_EQ(tAllocations - allocations, 0) << type;
    EXPECT_EQ(tFrees - frees, 0) << type;
    engine.DestroyContraption(std::move(contraption));
  }
}

TEST(NoAllocationTest, TheCounterSeesAllocations) {
  const long before = gAllocations.load();
  const long frees = tFrees;
  auto p = std::make_unique<int>(3);
  EXPECT_GT(gAllocations.load() - before, 0);
  p.reset();
  EXPECT_EQ(tFrees - frees, 1);
}

}  // namespace
}  // namespace tg
