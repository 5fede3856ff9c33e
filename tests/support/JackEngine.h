#pragma once

// What the realtime tests share: the engine playing through PortAudio's JACK
// device, and MIDI through a JACK client of its own, on the server their
// fixture starts.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/midi/JackMidiSystem.h"
#include "engine/midi/MidiPorts.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"

namespace tg::test {

inline constexpr int kJackBuffers = 3;
inline constexpr int kJackBufferBytes = 1024;  // 256 frames

// PortAudio's JACK device among these, or -1.
inline int JackDevice(const std::vector<WaveDeviceInfo>& devices) {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].throughJack) return static_cast<int>(i);
  }
  return -1;
}

// At 3 x 256 frames; null, the test failed, where PortAudio lists no JACK
// device.
inline std::unique_ptr<TAudioEngineModule> EngineOnJack(TContraptionFactory& factory,
                                                        WaveDeviceLayer& layer) {
  auto out = std::make_unique<KWWaveOutStream>(layer);
  auto in = std::make_unique<KWWaveInStream>(layer);
  const int jack = JackDevice(out->DeviceNames());
  if (jack < 0) {
    ADD_FAILURE() << "PortAudio lists no JACK device";
    return nullptr;
  }
  out->SetDevice(jack);
  out->SetBuffers(kJackBuffers, kJackBufferBytes);
  return std::make_unique<TAudioEngineModule>(factory, std::move(out), std::move(in));
}

// Opened as "tonegarden-under-test"; the test failed when it could not be.
inline std::unique_ptr<MidiPorts> JackMidiPorts(TAudioEngineModule& engine) {
  auto ports = std::make_unique<MidiPorts>(
      engine, std::vector<MidiPorts::SystemMaker>{
                  [] { return std::make_unique<JackMidiSystem>("tonegarden-under-test"); }});
  EXPECT_TRUE(ports->Open()) << ports->Status();
  return ports;
}

}  // namespace tg::test
