#include "engine/devices/PortAudioWaveDevice.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/devices/PlayoutMark.h"
#include "engine/midi/MidiEvent.h"

namespace tg {

namespace {

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

PaStreamParameters Parameters(int device, bool output) {
  PaStreamParameters p{};
  p.device = device;
  p.channelCount = kDeviceChannels;
  p.sampleFormat = paInt16;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  p.suggestedLatency = info == nullptr ? 0.05
                       : output        ? info->defaultLowOutputLatency
                                       : info->defaultLowInputLatency;
  return p;
}

int OutputCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* user) {
  static_cast<PortAudioWaveOutDevice*>(user)->Render(static_cast<int16_t*>(output), frames);
  return paContinue;
}

int InputCallback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                  PaStreamCallbackFlags, void* user) {
  static_cast<PortAudioWaveInDevice*>(user)->Capture(static_cast<const int16_t*>(input), frames);
  return paContinue;
}

template <typename Error>
[[noreturn]] void Throw(PaError error) {
  throw Error(static_cast<int>(error), Pa_GetErrorText(error));
}

template <typename Error>
void Check(PaError error) {
  if (error != paNoError) Throw<Error>(error);
}

// Closes a stream, if open, and lets go of PortAudio; answers the close's result.
PaError CloseAndRelease(PaStream*& stream, bool& acquired) {
  PaError error = paNoError;
  if (stream != nullptr) {
    Pa_AbortStream(stream);
    error = Pa_CloseStream(stream);
    stream = nullptr;
  }
  if (acquired) PortAudioSystem::Instance().Release();
  acquired = false;
  return error;
}

}  // namespace

PortAudioSystem& PortAudioSystem::Instance() {
  static PortAudioSystem system;
  return system;
}

PortAudioSystem::~PortAudioSystem() {
  if (initialised_) Pa_Terminate();
}

bool PortAudioSystem::Acquire() {
  std::lock_guard lock(mutex_);
  if (!initialised_) {
    snd_lib_error_set_handler(QuietAlsa);
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
    initialised_ = Pa_Initialize() == paNoError;
    if (!initialised_) return false;
  }
  ++users_;
  return true;
}

void PortAudioSystem::Release() {
  std::lock_guard lock(mutex_);
  if (users_ > 0) --users_;
}

bool PortAudioSystem::Rescan() {
  std::lock_guard lock(mutex_);
  if (users_ > 0) return false;  // a stream is open
  if (initialised_) Pa_Terminate();
  initialised_ = Pa_Initialize() == paNoError;
  return initialised_;
}

std::vector<WaveDeviceInfo> PortAudioSystem::Devices(bool output) {
  std::vector<WaveDeviceInfo> devices;
  if (!Acquire()) return devices;
  const int count = Pa_GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info == nullptr) continue;
    if ((output ? info->maxOutputChannels : info->maxInputChannels) < kDeviceChannels) continue;
    const PaStreamParameters p = Parameters(i, output);
    if (Pa_IsFormatSupported(output ? nullptr : &p, output ? &p : nullptr, kDeviceSampleRate) !=
        paFormatIsSupported) {
      continue;
    }
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
    devices.push_back({std::string(host != nullptr ? host->name : "Audio") + ": " + info->name, i,
                       host != nullptr && host->type == paJACK});
  }
  Release();
  return devices;
}

PortAudioWaveOutDevice::~PortAudioWaveOutDevice() {
  try {
    Close();
  } catch (const EWaveOutError&) {
  }
}

void PortAudioWaveOutDevice::Open(CompletionSink& sink) {
  Close();
  if (!PortAudioSystem::Instance().Acquire()) {
    throw EWaveOutError(paNotInitialized, Pa_GetErrorText(paNotInitialized));
  }
  acquired_ = true;
  sink_ = &sink;
  paused_ = false;
  current_ = {};
  played_ = 0;
  streamFramesPlayed_ = 0;
  PlayoutMark::Program().Begin();
  const PaStreamParameters p = Parameters(deviceIndex_, true);
  PaStream* stream = nullptr;
  PaError error =
      Pa_OpenStream(&stream, nullptr, &p, kDeviceSampleRate, paFramesPerBufferUnspecified,
                    paClipOff | paDitherOff, OutputCallback, this);
  if (error == paNoError) {
    stream_ = stream;
    error = Pa_StartStream(stream_);
  }
  if (error != paNoError) {
    Close();
    Throw<EWaveOutError>(error);
  }
  const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
  latencyFrames_ = info == nullptr ? 0 : std::llround(info->outputLatency * kDeviceSampleRate);
  PlayoutMark::Program().SetLatencyFrames(latencyFrames_);
}

void PortAudioWaveOutDevice::Write(const int16_t* frames, int frameCount) {
  if (stream_ == nullptr) throw EWaveOutError(paBadStreamPtr, Pa_GetErrorText(paBadStreamPtr));
  if (!queue_.Push({frames, frameCount})) {
    throw EWaveOutError(paInsufficientMemory, "Too many buffers are waiting to be played.");
  }
}

void PortAudioWaveOutDevice::Render(int16_t* out, unsigned long frames) noexcept {
  const int64_t now = SteadyNanoseconds();
  const int64_t before = streamFramesPlayed_;
  auto left = static_cast<int>(frames);
  while (left > 0) {
    if (paused_.load(std::memory_order_relaxed)) break;
    if (current_.frames == nullptr && !queue_.Pop(current_)) break;  // ran dry
    const int n = std::min(left, current_.frameCount - played_);
    std::memcpy(out, current_.frames + played_ * kDeviceChannels,
                static_cast<size_t>(n) * kDeviceFrameBytes);
    out += n * kDeviceChannels;
    left -= n;
    played_ += n;
    if (played_ >= current_.frameCount) {
      current_ = {};
      played_ = 0;
      sink_->BufferDone();
    }
  }
  std::memset(out, 0, static_cast<size_t>(left) * kDeviceFrameBytes);
  streamFramesPlayed_ += static_cast<int64_t>(frames) - left;
  PlayoutMark::Program().Played(before, streamFramesPlayed_ - before, now);
}

void PortAudioWaveOutDevice::Reset() {
  if (stream_ == nullptr) return;
  Check<EWaveOutError>(Pa_AbortStream(stream_));
  if (current_.frames != nullptr) sink_->BufferDone();
  current_ = {};
  played_ = 0;
  Entry e;
  while (queue_.Pop(e)) sink_->BufferDone();
  Check<EWaveOutError>(Pa_StartStream(stream_));
}

void PortAudioWaveOutDevice::Close() { Check<EWaveOutError>(CloseAndRelease(stream_, acquired_)); }

PortAudioWaveInDevice::~PortAudioWaveInDevice() {
  try {
    Close();
  } catch (const EWaveInError&) {
  }
}

void PortAudioWaveInDevice::Open(CompletionSink& sink) {
  Close();
  if (!PortAudioSystem::Instance().Acquire()) {
    throw EWaveInError(paNotInitialized, Pa_GetErrorText(paNotInitialized));
  }
  acquired_ = true;
  sink_ = &sink;
  current_ = {};
  filled_ = 0;
  const PaStreamParameters p = Parameters(deviceIndex_, false);
  PaStream* stream = nullptr;
  const PaError error =
      Pa_OpenStream(&stream, &p, nullptr, kDeviceSampleRate, paFramesPerBufferUnspecified,
                    paClipOff | paDitherOff, InputCallback, this);
  if (error != paNoError) {
    Close();
    Throw<EWaveInError>(error);
  }
  stream_ = stream;
}

void PortAudioWaveInDevice::AddBuffer(int16_t* frames, int frameCount) {
  if (stream_ == nullptr) throw EWaveInError(paBadStreamPtr, Pa_GetErrorText(paBadStreamPtr));
  if (!queue_.Push({frames, frameCount})) {
    throw EWaveInError(paInsufficientMemory, "Too many capture buffers are waiting.");
  }
}

void PortAudioWaveInDevice::Start() {
  if (stream_ == nullptr) throw EWaveInError(paBadStreamPtr, Pa_GetErrorText(paBadStreamPtr));
  Check<EWaveInError>(Pa_StartStream(stream_));
}

void PortAudioWaveInDevice::Stop() {
  if (stream_ == nullptr) return;
  if (Pa_IsStreamStopped(stream_) == 0) Check<EWaveInError>(Pa_StopStream(stream_));
}

void PortAudioWaveInDevice::Capture(const int16_t* in, unsigned long frames) noexcept {
  auto left = static_cast<int>(frames);
  while (left > 0) {
    if (current_.frames == nullptr && !queue_.Pop(current_)) return;  // nowhere to put it
    const int n = std::min(left, current_.frameCount - filled_);
    int16_t* to = current_.frames + filled_ * kDeviceChannels;
    if (in != nullptr) {
      std::memcpy(to, in, static_cast<size_t>(n) * kDeviceFrameBytes);
      in += n * kDeviceChannels;
    } else {
      std::memset(to, 0, static_cast<size_t>(n) * kDeviceFrameBytes);
    }
    left -= n;
    filled_ += n;
    if (filled_ >= current_.frameCount) {
      current_ = {};
      filled_ = 0;
      sink_->BufferDone();
    }
  }
}

void PortAudioWaveInDevice::ReturnAll() {
  if (current_.frames != nullptr) sink_->BufferDone();
  current_ = {};
  filled_ = 0;
  Entry e;
  while (queue_.Pop(e)) sink_->BufferDone();
}

void PortAudioWaveInDevice::Reset() {
  if (stream_ == nullptr) return;
  if (Pa_IsStreamStopped(stream_) == 0) Check<EWaveInError>(Pa_AbortStream(stream_));
  ReturnAll();
}

void PortAudioWaveInDevice::Close() { Check<EWaveInError>(CloseAndRelease(stream_, acquired_)); }

}  // namespace tg
