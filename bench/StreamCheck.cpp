// Plays a graph of a given cost through a real device and reports overloads,
// CPU load and the time from starting audio out to the first buffer played.
//   tonegarden-streamcheck COUNT SIZE SECONDS [LOAD] [DEVICE-PREFIX]
// LOAD is the graph's cost as a fraction of one block's time (default 0.5);
// the device is the first whose name starts with DEVICE-PREFIX (default JACK).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"
#include "shell/RegisterContraptions.h"

using namespace tg;
using Clock = std::chrono::steady_clock;

namespace {

// Spends a fixed share of each block's time, as a heavy patch would.
class BusyPipe final : public QSSignalProcessor {
 public:
  BusyPipe(QSDynSigContext* context, double load) : QSSignalProcessor(context, 0, 1), load_(load) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    const auto until =
        Clock::now() + std::chrono::duration<double>(load_ * kBlockSize / kSampleRate);
    while (Clock::now() < until) {
    }
    out_.Fill(0.01f);
  }

 private:
  double load_;
  QSSignal out_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s COUNT SIZE SECONDS [LOAD] [DEVICE-PREFIX]\n", argv[0]);
    return 2;
  }
  const int count = std::atoi(argv[1]);
  const int size = std::atoi(argv[2]);
  const double seconds = numbertext::Parse(argv[3]).value_or(0.0);
  const double load = argc > 4 ? numbertext::Parse(argv[4]).value_or(-1.0) : 0.5;
  const std::string prefix = argc > 5 ? argv[5] : "JACK";

  StandardWaveDeviceLayer layer;
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  auto outStream = std::make_unique<KWWaveOutStream>(layer);
  KWWaveOutStream& out = *outStream;
  int device = -1;
  for (int i = 0; i < out.DeviceCount(); ++i) {
    if (out.DeviceNames()[static_cast<size_t>(i)].name.rfind(prefix, 0) == 0) device = i;
  }
  if (device < 0) {
    std::fprintf(stderr, "no device starting with \"%s\"\n", prefix.c_str());
    return 1;
  }
  out.SetDevice(device);
  out.SetBuffers(count, size);
  TAudioEngineModule engine(factory, std::move(outStream), std::make_unique<KWWaveInStream>(layer));
  auto soundOut = factory.Create(engine, "SoundOut", "");
  auto* busy = new BusyPipe(&engine.GetContext(), load);
  engine.GetContext().Connect(busy, 0, &engine.SoundOutProcessor(), 0, false);

  // The first fill on the service thread follows the first buffer played.
  std::atomic<int> fills{0};
  std::atomic<int64_t> firstServiceFill{0};
  out.SetOnFillBuffer([&](int16_t* buffer, int frames) {
    if (fills.fetch_add(1) == count) {
      firstServiceFill = Clock::now().time_since_epoch().count();
    }
    engine.OutStreamFillBuffer(buffer, frames);
  });

  const auto start = Clock::now();
  engine.StartAudioOut();
  int overloads = 0;
  double maxLoad = 0;
  for (double t = 0; t < seconds; t += 0.05) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    overloads += engine.TakeOverloadFlag() ? 1 : 0;
    maxLoad = std::max(maxLoad, out.CpuLoad());
  }
  engine.StopAudioOut();
  const double firstMs =
      firstServiceFill == 0
          ? -1
          : std::chrono::duration<double, std::milli>(
                Clock::time_point(Clock::duration(firstServiceFill.load())) - start)
                .count();
  std::printf(
      "%s: %d x %d bytes (%d frames), load %s, %s s: %d overload reports, peak CPU load %s, "
      "first buffer played after %s ms\n",
      out.DeviceNames()[static_cast<size_t>(device)].name.c_str(), count, size, size / 4,
      numbertext::Fixed(load, 2).c_str(), numbertext::Fixed(seconds, 0).c_str(), overloads,
      numbertext::Fixed(maxLoad, 2).c_str(), numbertext::Fixed(firstMs, 1).c_str());
  engine.DestroyContraption(std::move(soundOut));
  return overloads == 0 ? 0 : 3;
}
