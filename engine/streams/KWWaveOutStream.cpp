#include "engine/streams/KWWaveOutStream.h"

#include <algorithm>
#include <chrono>

namespace tg {

namespace {

// Multiplies each frame by a gain that moves linearly over the buffer:
// up from 0 (fade in) or down from 1 (fade out).
void Fade(int16_t* buffer, int frames, bool in) {
  const double step = 1.0 / frames;
  double g = in ? 0.0 : 1.0;
  for (int k = 0; k < frames; ++k) {
    buffer[2 * k] = static_cast<int16_t>(buffer[2 * k] * g);
    buffer[2 * k + 1] = static_cast<int16_t>(buffer[2 * k + 1] * g);
    g += in ? step : -step;
  }
}

}  // namespace

KWWaveOutStream::KWWaveOutStream(WaveDeviceLayer& layer, TimeSource& time)
    : KWWaveStreamBase(layer.OutputDevices()), layer_(layer), time_(time) {}

KWWaveOutStream::~KWWaveOutStream() {
  try {
    Stop();
  } catch (const EWaveOutError&) {
  }
}

void KWWaveOutStream::Fill(int16_t* buffer) {
  if (onFillBuffer_) {
    onFillBuffer_(buffer, FramesPerBuffer());
  } else {
    std::fill(buffer, buffer + FramesPerBuffer() * 2, int16_t{0});
  }
}

void KWWaveOutStream::DrainCompletions() {
  while (completions_.try_acquire()) {
  }
}

void KWWaveOutStream::Start() {
  if (IsActive()) return;
  if (deviceHandle_) {
    try {
      deviceHandle_->Close();
    } catch (const EWaveOutError&) {
    }
    deviceHandle_.reset();
  }
  auto device =
      layer_.CreateOutput(ChosenDeviceId<EWaveOutError>("There is no sound output device."));
  device->Open(*this);
  deviceLatency_ = device->LatencyFrames();
  deviceHandle_ = std::move(device);
  deviceHandle_->Pause();  // nothing plays until every buffer is queued

  memory_.assign(static_cast<size_t>(bufferCount_) * FramesPerBuffer() * 2, 0);
  for (int i = 0; i < bufferCount_; ++i) Fill(BufferAt(i));
  if (rampEnds_) Fade(BufferAt(0), FramesPerBuffer(), true);

  nextBuffer_ = 0;
  active_ = true;
  threadRunning_ = true;
  stopWithRamp_ = false;
  inFlight_ = 0;
  overloads_ = 0;
  load_.Restart(FramesPerBuffer());  // a new run, perhaps with buffers of another size
  DrainCompletions();
  thread_ = std::thread([this] { ServiceLoop(); });
  priority_ = ThreadPriority::TimeCritical;
  SetThreadPriority(thread_, priority_);
  try {
    for (int i = 0; i < bufferCount_; ++i) {
      deviceHandle_->Write(BufferAt(i), FramesPerBuffer());
      ++inFlight_;
    }
    deviceHandle_->Restart();
  } catch (const EWaveOutError&) {
    active_ = false;
    threadRunning_ = false;
    completions_.release();
    thread_.join();
    deviceHandle_.reset();
    throw;
  }
}

void KWWaveOutStream::ServiceLoop() {
  const auto timeout = std::chrono::milliseconds(2 * bufferDurationMs_);
  const int frames = FramesPerBuffer();
  for (;;) {
    if (!completions_.try_acquire_for(timeout)) {
      // A device that stopped posting would otherwise keep a ramped stop waiting.
      if (!threadRunning_ || stopWithRamp_) break;
      continue;
    }
    --inFlight_;
    lock_.LockForService();
    if (!threadRunning_) {
      lock_.UnlockForService();
      break;
    }
    int extra = 0;
    while (completions_.try_acquire()) ++extra;
    inFlight_ -= extra;
    if (extra == bufferCount_ - 1 && bufferCount_ > 1) {
      // The device ran dry: queue silence in every slot but the one filled now.
      overloads_.fetch_add(1);
      for (int i = 0; i < extra; ++i) {
        std::fill(BufferAt(nextBuffer_), BufferAt(nextBuffer_) + frames * 2, int16_t{0});
        deviceHandle_->Write(BufferAt(nextBuffer_), frames);
        ++inFlight_;
        nextBuffer_ = (nextBuffer_ + 1) % bufferCount_;
      }
    } else {
      completions_.release(extra);
      inFlight_ += extra;
    }

    // Filled before it is queued, with two buffers too: the device may take a
    // queued buffer at once, and filling it then would race the device. The
    // fill happens at the same moment either way, so no latency is lost.
    const auto start = time_.Now();
    int16_t* buffer = BufferAt(nextBuffer_);
    const bool ramp = stopWithRamp_;
    Fill(buffer);
    if (ramp) Fade(buffer, frames, false);
    try {
      deviceHandle_->Write(buffer, frames);
    } catch (const EWaveOutError&) {
      // Results of the service thread's writes are not acted upon.
    }
    ++inFlight_;
    nextBuffer_ = (nextBuffer_ + 1) % bufferCount_;

    load_.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(time_.Now() - start));

    if (ramp) {
      threadRunning_ = false;
      lock_.UnlockForService();
      break;
    }
    if (load_.Load() > 1.0) {
      overloads_.fetch_add(1);
      lock_.UnlockForService();
      if (!overdrive_ && priority_ != ThreadPriority::Normal) {
        priority_ = ThreadPriority::Normal;
        SetCurrentThreadPriority(priority_);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(
          static_cast<int>(frames / static_cast<double>(kDeviceSampleRate) * 25)));
    } else {
      lock_.UnlockForService();
      if (priority_ != ThreadPriority::TimeCritical) {
        priority_ = ThreadPriority::TimeCritical;
        SetCurrentThreadPriority(priority_);
      }
    }
  }
  // Let the buffers still queued play out.
  while (inFlight_ > 0 && completions_.try_acquire_for(timeout)) --inFlight_;
}

void KWWaveOutStream::Stop() {
  if (IsActive()) {
    if (lock_.IsHeldByCaller()) {
      active_ = false;
      threadRunning_ = false;
      lock_.Unlock();
    } else if (rampEnds_) {
      stopWithRamp_ = true;
    } else {
      active_ = false;
      threadRunning_ = false;
    }
    if (thread_.joinable()) thread_.join();
    active_ = false;
    auto device = std::move(deviceHandle_);
    if (device) device->Close();
    return;
  }
  if (deviceHandle_) {
    try {
      deviceHandle_->Close();
    } catch (const EWaveOutError&) {
    }
    deviceHandle_.reset();
  }
  active_ = false;
}

}  // namespace tg
