#include "shell/program/LivePlayer.h"

#include "contraptions/io/soundout/TGSoundOut.h"
#include "engine/TAudioEngineModule.h"
#include "engine/Timecode.h"
#include "engine/devices/WaveDevice.h"
#include "engine/sync/LinkSession.h"
#include "properties/NumberText.h"
#include "shell/document/TGDocument.h"

namespace tg {

bool LivePlayer::Open(const std::string& fileName) { return document_.Open(fileName); }

std::string LivePlayer::Start(bool withClock) {
  withClock_ = withClock;
  try {
    engine_.StartAudioOut();
  } catch (const EWaveDeviceError& e) {
    return e.what();
  }
  if (engine_.CanStartAudioIn()) {
    try {
      engine_.StartAudioIn();
    } catch (const EWaveDeviceError& e) {
      engine_.StopAudioOut();
      return std::string("audio in: ") + e.what();
    }
  }
  if (withClock_ && !engine_.ClockStarted()) engine_.StartPauseClock();
  started_ = Clock::now();
  return {};
}

bool LivePlayer::Record() {
  TGSoundOut& out = engine_.SoundOutProcessor();
  out.WaitForFile();
  if (!engine_.HasSoundOut() || out.GetState() == TGSoundOut::kNoFile) return false;
  out.action.SetValue(TGSoundOut::kRecord);
  return true;
}

void LivePlayer::Stop() {
  if (engine_.IsAudioInRunning()) engine_.StopAudioIn();
  engine_.StopAudioOut();
}

LivePlayer::Reloaded LivePlayer::Reload() {
  // Read first: a file that is no longer a document leaves the patch playing.
  if (!document_.CanOpen(document_.FileName())) return {};
  Stop();
  Reloaded result;
  result.read = document_.Read();
  result.deviceProblem = Start(withClock_);
  return result;
}

double LivePlayer::SecondsPlayed(Clock::time_point now) const {
  if (!engine_.IsAudioOutRunning()) return 0.0;
  return std::chrono::duration<double>(now - started_).count();
}

std::string LivePlayer::StatusLine() {
  const TAudioEngineModule::Meters m = engine_.GetMeters();
  return FormatTimecode(m.clockTick) + "  " + numbertext::Fixed(engine_.Tempo(), 1) + "  " +
         numbertext::Fixed(engine_.OutStream().CpuLoad() * 100.0, 2) + " %  " +
         std::to_string(engine_.OverloadCount()) +
         (engine_.LinkLeads() ? "  " + LinkSession::PeersText(engine_.LinkPeers()) : "");
}

}  // namespace tg
