// Builds a small patch in code, runs it for a few seconds of audio without a
// sound card, and prints the graph, its update list and the meters.
#include <cstdio>
#include <iostream>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "engine/Timecode.h"
#include "engine/streams/DetachedOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"
#include "shell/RegisterContraptions.h"
#include "tools/graphdemo/DemoProcessors.h"

using namespace tg;

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? numbertext::Parse(argv[1]).value_or(0.0) : 4.0;
  if (!(seconds > 0.0 && seconds <= 3600.0)) {
    std::cerr << "usage: tonegarden-graphdemo [seconds between 0 and 3600]\n";
    return 2;
  }

  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  factory.Emplace<TMakerTemplate<demo::SineTone>>("SineTone", "Demo", 0, false);
  factory.Emplace<TMakerTemplate<demo::FeedbackAdder>>("FeedbackAdder", "Demo", 0, false);

  auto outStream = std::make_unique<DetachedOutStream>(4, 16384);
  DetachedOutStream& out = *outStream;
  TAudioEngineModule engine(factory, std::move(outStream));

  auto tone = factory.Create(engine, "SineTone", "");
  auto echo = factory.Create(engine, "FeedbackAdder", "");
  auto soundOut = factory.Create(engine, "SoundOut", "");
  for (auto* c : {tone.get(), echo.get(), soundOut.get()}) engine.AttachContraption(*c);
  engine.ConnectContraptions(*tone, 0, *echo, 0);
  engine.ConnectContraptions(*echo, 0, *echo, 1);  // feedback: gets a limiter
  engine.ConnectContraptions(*echo, 0, *soundOut, 0);
  engine.ConnectContraptions(*tone, 0, *soundOut, 1);

  std::cout << "Contraptions:";
  for (const auto* c : factory.Contraptions()) std::cout << ' ' << c->Name();
  std::cout << "\n\n";
  engine.GetContext().Dump(std::cout);
  std::cout << "Feedback limiters: " << engine.GetContext().LimiterCount() << "\n\n";

  engine.StartPauseClock();  // starts audio out too, as SoundOut is placed
  const int frames = out.BufferSize() / 4;
  std::vector<int16_t> buffer(static_cast<size_t>(frames) * 2);
  const int buffers = static_cast<int>(seconds * kSampleRate / frames);
  std::printf("%8s %8s %8s %8s\n", "time", "out L", "out R", "clock");
  for (int b = 1; b <= buffers; ++b) {
    out.Fill(buffer.data(), frames);
    if (b % 5 == 0 || b == buffers) {
      const auto m = engine.GetMeters();
      std::printf("%8s %8s %8s %8s\n",
                  (numbertext::Fixed(b * frames / kSampleRate, 2) + "s").c_str(),
                  numbertext::Fixed(m.outputLeft, 3).c_str(),
                  numbertext::Fixed(m.outputRight, 3).c_str(), FormatTimecode(m.clockTick).c_str());
    }
  }
  engine.StopAudioOut();
  std::printf("\nTempo %s bpm, clock at tick %u\n", numbertext::Fixed(engine.Tempo(), 0).c_str(),
              ClockTickOf(engine.GetContext().Clock().Position()));

  for (auto* c : {&soundOut, &echo, &tone}) engine.DestroyContraption(std::move(*c));
  return 0;
}
