#include "engine/TAudioEngineModule.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <thread>

#include "dsp/SampleConversion.h"
#include "engine/Timecode.h"
#include "engine/streams/DetachedInStream.h"
#include "engine/streams/DetachedOutStream.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/StreamSettings.h"
#include "engine/streams/ThreadPriority.h"
#include "files/loading/SoundLoader.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr float kOutputLevelDecay = 0.5952381f;  // 1/1.68
constexpr int kValuesPerBlock = kBlockSize * 2;

}  // namespace

TAudioEngineModule::TAudioEngineModule(TContraptionFactory& factory,
                                       std::unique_ptr<AudioOutStream> outStream,
                                       std::unique_ptr<AudioInStream> inStream,
                                       SettingsStore* settings)
    : factory_(&factory),
      settings_(settings),
      outStream_(outStream ? std::move(outStream) : std::make_unique<DetachedOutStream>()),
      inStream_(inStream ? std::move(inStream) : std::make_unique<DetachedInStream>()),
      headlessMessages_(&std::cerr) {
  host_.messages = &headlessMessages_;
  host_.clipboard = &headlessClipboard_;
  host_.windows = this;
  host_.edits = this;
  midi_.SetClockSync(&clockSync_);
  clockSync_.SetOwnTempo(context_.Clock().SamplesPerClock());
  jackSync_.Link().SetLocateSamplesPerClock(context_.Clock().SamplesPerClock());
  soundOut_ = std::make_unique<TGSoundOut>(&context_);
  soundIn_ = std::make_unique<TGSoundIn>(&context_);
  soundOut_->SetSoundIn(soundIn_.get());
  soundOut_->SetHost(&host_);
  soundOut_->SetEngineLock(&outStream_->GetEngineLock());
  soundIn_->SetEngineLock(&outStream_->GetEngineLock());
  outStream_->SetOnFillBuffer(
      [this](int16_t* buffer, int frameCount) { FillBuffer(buffer, frameCount, false); });
  auto* out = dynamic_cast<KWWaveOutStream*>(outStream_.get());
  auto* in = dynamic_cast<KWWaveInStream*>(inStream_.get());
  if (settings_ != nullptr && out != nullptr && in != nullptr)
    LoadStreamSettings(*settings_, *out, *in);
  if (settings_ != nullptr) {
    SetProcessingThreads(LoadProcessingThreads(*settings_));
    SetOutputLimited(LoadOutputLimited(*settings_));
    KeepLastFrames(LoadLastMinutes(*settings_) * LastMinutesRing::kFramesPerMinute);
  }
  RebuildGraph();
}

void TAudioEngineModule::BeginGraphBatch() {
  ++graphBatch_;
  context_.SetDeferredRebuild(true);
}

void TAudioEngineModule::EndGraphBatch() {
  if (graphBatch_ == 0 || --graphBatch_ > 0) return;
  context_.SetDeferredRebuild(false);
  RebuildGraph();
}

void TAudioEngineModule::BeginGraphEdit() { context_.SetDeferredRebuild(true); }

void TAudioEngineModule::GraphEdited() {
  if (graphBatch_ > 0) return;
  context_.SetDeferredRebuild(false);
  RebuildGraph();
}

void TAudioEngineModule::RebuildGraph() {
  if (!context_.NeedsRebuild()) return;
  // Worked out without the lock: the audio thread uses none of it meanwhile.
  QSDynSigContext::Plan plan = context_.PlanRebuild();
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    context_.InstallPlan(plan);
  }
  // What the plan replaced goes here, after the lock.
}

TAudioEngineModule::~TAudioEngineModule() {
  try {
    outStream_->Stop();
  } catch (const EWaveDeviceError&) {
  }
  try {
    inStream_->Stop();
  } catch (const EWaveDeviceError&) {
  }
  auto* out = dynamic_cast<KWWaveOutStream*>(outStream_.get());
  auto* in = dynamic_cast<KWWaveInStream*>(inStream_.get());
  if (settings_ != nullptr && out != nullptr && in != nullptr)
    StoreStreamSettings(*settings_, *out, *in);
  if (settings_ != nullptr) StoreProcessingThreads(*settings_, requestedThreads_);
  outStream_->SetOnFillBuffer(nullptr);
  SetProcessingThreads(1);
  soundOut_.reset();  // first: it refers to SoundIn
  soundIn_.reset();
}

void TAudioEngineModule::ContraptionEdited(TGardeningContraption&) { documentModified_ = true; }

int TAudioEngineModule::Cores() {
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int TAudioEngineModule::ThreadsFor(int requested) {
  constexpr int kMostAutomatic = 8;
  if (requested <= kAutomaticThreads) return std::min(Cores(), kMostAutomatic);
  return std::min(requested, Cores());
}

void TAudioEngineModule::SetProcessingThreads(int requested) {
  requestedThreads_ = std::max(requested, kAutomaticThreads);
  const int threads = ThreadsFor(requestedThreads_);
  threadsNote_.clear();
  if (threads == ActiveProcessingThreads()) return;
  // Helpers start and stop here, outside the lock; under it the context
  // only changes pointers.
  std::unique_ptr<ProcessingPool> pool;
  if (threads > 1) {
    pool = std::make_unique<ProcessingPool>(
        threads, helperStart_ ? helperStart_ : [] {
          return SetCurrentThreadPriority(ThreadPriority::TimeCritical) ==
                 ThreadPriority::TimeCritical;
        });
    if (helpersNeedRealTime_ && !pool->AllRealTime()) {
      pool.reset();
      threadsNote_ =
          "The system grants the processing threads no real-time priority, so one thread "
          "processes the patch: a helper put aside could make the sound drop out.";
    }
  }
  {
    EngineLockGuard guard(GetEngineLock());
    context_.SetPool(pool.get());
  }
  pool_.swap(pool);
  GraphEdited();
}

std::string TAudioEngineModule::ProcessingThreadsNote() const {
  if (!threadsNote_.empty() || ActiveProcessingThreads() < 2) return threadsNote_;
  if (context_.Judge().SharingPays()) return {};
  return "Sharing this patch between threads measured slower than one thread on this "
         "computer, so one thread processes it for now; the two are timed again every "
         "half minute.";
}

namespace {

template <typename T, size_t N>
void Clear(std::array<std::atomic<T>, N>& history) {
  for (auto& v : history) v.store(T{}, std::memory_order_relaxed);
}

}  // namespace

void TAudioEngineModule::ClearInputMeters() {
  inputLevelLeft_ = inputLevelRight_ = 0.0f;
  shownInputLeft_.store(0.0f, std::memory_order_relaxed);
  shownInputRight_.store(0.0f, std::memory_order_relaxed);
  Clear(inputLeftHistory_);
  Clear(inputRightHistory_);
}

void TAudioEngineModule::ClearOutputMeters() {
  outputLevelLeft_ = outputLevelRight_ = 0.0f;
  Clear(outputLeftHistory_);
  Clear(outputRightHistory_);
  Clear(clockHistory_);
  Clear(clockRunningHistory_);
}

void TAudioEngineModule::SetOutputLimited(bool on) { soundOut_->SetLimiting(on); }

void TAudioEngineModule::KeepLastFrames(int64_t frames) {
  keptFrames_ = std::max<int64_t>(frames, 0);
  if (!IsAudioOutRunning()) return;
  lastMinutes_.Reserve(keptFrames_);
  std::shared_ptr<const void> leftRoom;  // let go of after the lock
  const EngineLockGuard lock(outStream_->GetEngineLock());
  leftRoom = lastMinutes_.Engage();
}

void TAudioEngineModule::StartAudioOut() {
  if (graphBatch_ == 0) RebuildGraph();  // edits made on the context itself
  // Made and touched here, never on the audio thread.
  lastMinutes_.Reserve(keptFrames_);
  std::shared_ptr<const void> leftRoom;
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    leftRoom = lastMinutes_.Engage();
    historyIndex_ = 0;
    displayDelay_ = 0;
    ClearInputMeters();
    ClearOutputMeters();
    overloadSeen_ = false;
    overloadCount_ = 0;
    panicFade_ = PanicFade::None;
    outStream_->TakeOverload();  // the last run's, not this one's
    renderedFrames_ = 0;
    midi_.Restart(outStream_->BufferCount());
    clockSync_.Restart();
    jackSync_.Restart(outStream_->BufferCount(), OutputOnJack());
  }
  soundOut_->RestartCounts();  // clipping counts from this run on
  outStream_->Start();
}

void TAudioEngineModule::StopAudioOut() {
  // A device gone (unplugged) stops all the same; the stream is stopped.
  std::string failure;
  try {
    outStream_->Stop();
  } catch (const EWaveDeviceError& error) {
    failure = error.what();
  }
  // Not under the lock: it may hand a tempo to the Link session.
  linkSync_.Stopped();
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    ClearInputMeters();
    ClearOutputMeters();
    clockSync_.Stopped();
    // A panic the audio thread had no time to take is finished here.
    if (panicRequested_.exchange(false)) context_.ResetSounds();
    panicFade_ = PanicFade::None;
  }
  TellStopFailure(failure);
}

void TAudioEngineModule::TellStopFailure(const std::string& failure) {
  if (failure.empty() || host_.messages == nullptr) return;
  host_.messages->ShowMessage(failure, "Tonegarden", MessageIcon::Error);
}

void TAudioEngineModule::Panic() {
  if (IsAudioOutRunning()) {
    panicRequested_.store(true);
    return;
  }
  EngineLockGuard lock(outStream_->GetEngineLock());
  context_.ResetSounds();
}

void TAudioEngineModule::StartAudioIn() {
  // Opening a device can take a while: the engine lock is not held meanwhile,
  // so the output keeps playing.
  inStream_->Start();
  EngineLockGuard lock(outStream_->GetEngineLock());
  ClearInputMeters();
  inputReadPosition_ = inStream_->BufferSize() / 2;  // the next block fetches a fresh buffer
}

void TAudioEngineModule::StopAudioIn() {
  std::string failure;
  try {
    inStream_->Stop();
  } catch (const EWaveDeviceError& error) {
    failure = error.what();
  }
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    inputLevelLeft_ = inputLevelRight_ = 0.0f;
    shownInputLeft_.store(0.0f, std::memory_order_relaxed);
    shownInputRight_.store(0.0f, std::memory_order_relaxed);
  }
  TellStopFailure(failure);
}

void TAudioEngineModule::SwitchInputFile(bool useFile) {
  // The device and the file never both feed SoundIn.
  if (useFile && IsAudioInRunning()) {
    StopAudioIn();
  } else if (!useFile && soundIn_->active.Value()) {
    soundIn_->active.SetValue(false);
  }
  soundIn_->useADC.SetValue(!useFile);
}

void TAudioEngineModule::SetUseInputFile(bool useFile) {
  SwitchInputFile(useFile);
  SoundInChanged();
}

void TAudioEngineModule::EditUseInputFile(bool useFile) {
  SwitchInputFile(useFile);
  for (TGardeningContraption* c : factory_->Contraptions()) {
    if (&c->Processor() == soundIn_.get()) c->MarkChanged();
  }
  SoundInChanged();
}

void TAudioEngineModule::FollowSoundInMode() {
  bool changed = false;
  if (IsAudioInRunning() && !CanStartAudioIn()) {
    StopAudioIn();
    changed = true;
  }
  if (soundIn_->useADC.Value() && soundIn_->active.Value()) {
    soundIn_->active.SetValue(false);
    changed = true;
  }
  // A preset or an undo named another file: open it, or SoundIn would play
  // the old one under the new name.
  if (soundIn_->inputFile.IsChanged()) {
    soundIn_->Reset();
    changed = true;
  }
  if (changed) SoundInChanged();
}

void TAudioEngineModule::AttachContraption(TGardeningContraption& contraption) {
  BeginGraphEdit();
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    contraption.Processor().SetContext(&context_);
  }
  GraphEdited();
}

// Nothing slow under the lock: the editor window goes before it is taken, and
// a processor of the contraption's own leaves the graph under it but frees
// its memory after. The engine's SoundIn and SoundOut stay in the graph; their
// contraptions go without the lock (SoundOut takes it to hand its file back).
void TAudioEngineModule::DestroyContraption(std::unique_ptr<TGardeningContraption> contraption) {
  if (contraption == nullptr) return;
  // Whatever its flag says, a window must not outlive its contraption.
  if (host_.windows != nullptr) {
    host_.windows->CloseWindow(*contraption);
    contraption->WindowState().windowOpen = false;
  }
  BeginGraphEdit();
  if (contraption->OwnsProcessor()) {
    EngineLockGuard lock(outStream_->GetEngineLock());
    LeaveGraph(contraption->Processor());
    midi_.Forget(&contraption->Processor());
  }
  contraption.reset();
  GraphEdited();
}

void TAudioEngineModule::LeaveGraph(QSDynSigPipe& pipe) {
  for (int i = 0; i < pipe.InletCount(); ++i) {
    const QSDynSigPipe::Inlet& in = pipe.InletAt(i);
    if (in.source != nullptr) context_.Disconnect(in.source, in.sourceOutlet, &pipe, i);
  }
  for (int o = 0; o < pipe.OutletCount(); ++o) {
    const auto& references = pipe.OutletAt(o).references;
    while (!references.empty()) {
      const QSDynSigPipe::InletRef last = references.back();
      if (!context_.Disconnect(&pipe, o, last.pipe, last.inlet)) break;
    }
  }
  pipe.SetContext(nullptr);
}

bool TAudioEngineModule::ConnectContraptions(TGardeningContraption& source, int outlet,
                                             TGardeningContraption& destination, int inlet) {
  bool connected = false;
  BeginGraphEdit();
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    connected =
        context_.Connect(&source.Processor(), outlet, &destination.Processor(), inlet, true);
  }
  GraphEdited();
  return connected;
}

bool TAudioEngineModule::DisconnectContraptions(TGardeningContraption& source, int outlet,
                                                TGardeningContraption& destination, int inlet) {
  bool disconnected = false;
  BeginGraphEdit();
  {
    EngineLockGuard lock(outStream_->GetEngineLock());
    disconnected =
        context_.Disconnect(&source.Processor(), outlet, &destination.Processor(), inlet);
  }
  GraphEdited();
  return disconnected;
}

size_t TAudioEngineModule::HeardIndex() const {
  constexpr auto kRelaxed = std::memory_order_relaxed;
  int i = historyIndex_.load(kRelaxed) - displayDelay_.load(kRelaxed);
  while (i < 0) i += kHistoryLength;
  return static_cast<size_t>(i % kHistoryLength);
}

bool TAudioEngineModule::HeardClockTick(uint32_t& tick) const {
  const size_t at = HeardIndex();
  tick = clockHistory_[at].load(std::memory_order_relaxed);
  return clockRunningHistory_[at].load(std::memory_order_relaxed);
}

TAudioEngineModule::Meters TAudioEngineModule::GetMeters() {
  constexpr auto kRelaxed = std::memory_order_relaxed;
  const size_t at = HeardIndex();
  Meters m;
  if (soundIn_->active.Value() && soundIn_->IsScheduled()) {
    m.inputLeft = inputLeftHistory_[at].load(kRelaxed);
    m.inputRight = inputRightHistory_[at].load(kRelaxed);
  } else if (inStream_->IsActive()) {
    m.inputLeft = shownInputLeft_.load(kRelaxed);
    m.inputRight = shownInputRight_.load(kRelaxed);
  }
  m.outputLeft = outputLeftHistory_[at].load(kRelaxed);
  m.outputRight = outputRightHistory_[at].load(kRelaxed);
  m.clockTick = clockHistory_[at].load(kRelaxed);
  return m;
}

bool TAudioEngineModule::TakeOverloadFlag() { return overloadSeen_.exchange(false); }

void TAudioEngineModule::OutStreamFillBuffer(int16_t* buffer, int frameCount) {
  // On the user-interface thread: an order still to work out (edits made on
  // the context itself) is settled first.
  if (graphBatch_ == 0) RebuildGraph();
  FillBuffer(buffer, frameCount, true);
}

void TAudioEngineModule::FillBuffer(int16_t* buffer, int frameCount, bool offline) {
  const int blocks = frameCount / kBlockSize;
  // Longer than the history (buffers given for one run): the oldest kept.
  const int delay = static_cast<int>(blocks * (outStream_->BufferCount() - 2 + 0.5));
  displayDelay_.store(std::clamp(delay, 0, kHistoryLength - 1), std::memory_order_relaxed);
  if (outStream_->TakeOverload()) {
    overloadSeen_.store(true, std::memory_order_relaxed);
    overloadCount_.fetch_add(1, std::memory_order_relaxed);
  }
  // Offline (an export, a render) no device is waiting: every block may wait
  // for the sound it asked for, so a render comes out the same every time.
  // The stream's own fills never wait, not even the first ones.
  soundIn_->SetOffline(offline);
  // Live, MIDI plays at its time; an export or a render takes none.
  if (!offline) {
    midi_.BeginFill(SteadyNanoseconds(), renderedFrames_, frameCount);
    jackSync_.BeginFill();
    linkSync_.BeginFill(renderedFrames_, frameCount, outStream_->PlayoutFrames());
  }
  int16_t* const played = buffer;
  for (int b = 0; b < blocks; ++b) {
    const int64_t blockFirstFrame = renderedFrames_ + static_cast<int64_t>(b) * kBlockSize;
    if (offline) {
      SoundLoader::Instance().WaitUntilIdle();
    } else {
      midi_.BeforeBlock(blockFirstFrame);
      jackSync_.BeforeBlock(blockFirstFrame);
      clockSync_.BeforeBlock(blockFirstFrame);
      linkSync_.BeforeBlock(blockFirstFrame);
    }
    const TempoClock& clock = context_.Clock();
    const double positionBefore = clock.Position();
    const bool runningBefore = clock.IsRunning();
    const double samplesPerClock = clock.SamplesPerClock();
    if (panicFade_ == PanicFade::None && panicRequested_.exchange(false)) {
      panicFade_ = PanicFade::Out;
    }
    // Nothing may run ahead into the block after the resets.
    const bool cutting = panicFade_ == PanicFade::Out;
    FillBlock(buffer, b + 1 < blocks && !cutting);
    if (!offline) {
      clockSync_.AfterBlock(positionBefore, runningBefore, samplesPerClock, blockFirstFrame);
      jackSync_.AfterBlock(positionBefore, runningBefore, samplesPerClock, blockFirstFrame);
    }
    if (cutting) {
      context_.ResetSounds();
      panicFade_ = PanicFade::In;
    } else if (panicFade_ == PanicFade::In) {
      panicFade_ = PanicFade::None;
    }
    buffer += kValuesPerBlock;
  }
  if (!offline) {
    renderedFrames_ += static_cast<int64_t>(blocks) * kBlockSize;
    lastMinutes_.Write(played, blocks * kBlockSize);
  }
}

bool TAudioEngineModule::AttachMidiInput(MidiInput& input) {
  EngineLockGuard lock(GetEngineLock());
  return midi_.Attach(&input);
}

void TAudioEngineModule::DetachMidiInput(MidiInput& input) {
  EngineLockGuard lock(GetEngineLock());
  midi_.Detach(&input);
}

std::unique_ptr<MidiTargetMap> TAudioEngineModule::SetMidiTargets(
    std::unique_ptr<MidiTargetMap> map) {
  EngineLockGuard lock(GetEngineLock());
  return midi_.Exchange(std::move(map));
}

void TAudioEngineModule::ApplyMidiWhileStopped() {
  if (IsAudioOutRunning() || exporting_) return;
  EngineLockGuard lock(GetEngineLock());
  midi_.ApplyNow();
}

void TAudioEngineModule::FadeForPanic(const float*& left, const float*& right) {
  // One linear ramp over the block: out ends on silence, in starts from it.
  const bool out = panicFade_ == PanicFade::Out;
  constexpr float kStep = 1.0f / static_cast<float>(kBlockSize);
  for (int k = 0; k < kBlockSize; ++k) {
    const float g =
        out ? static_cast<float>(kBlockSize - 1 - k) * kStep : static_cast<float>(k) * kStep;
    const auto i = static_cast<size_t>(k);
    fadedLeft_[i] = left[k] * g;
    fadedRight_[i] = right[k] * g;
  }
  left = fadedLeft_.data();
  right = fadedRight_.data();
}

void TAudioEngineModule::FillBlock(int16_t* out, bool anotherFollows) {
  if (inputReadPosition_ >= inStream_->BufferSize() / 2) {
    inStream_->TakeNextBuffer();
    inputReadPosition_ = 0;
  }
  if (HasSoundIn()) {
    soundIn_->TakeDeviceInput(inStream_->BeginRead(), inputReadPosition_, inputLevelLeft_,
                              inputLevelRight_);
    inStream_->EndRead();
    shownInputLeft_.store(inputLevelLeft_, std::memory_order_relaxed);
    shownInputRight_.store(inputLevelRight_, std::memory_order_relaxed);
  }
  inputReadPosition_ += kValuesPerBlock;

  context_.ProcessBlock(anotherFollows);

  const float* left = soundOut_->OutputLeft().Data();
  const float* right = soundOut_->OutputRight().Data();
  if (panicFade_ != PanicFade::None) FadeForPanic(left, right);
  const Peaks16 peaks = ToSamples16(left, right, out, kBlockSize);
  outputLevelLeft_ *= kOutputLevelDecay;
  outputLevelRight_ *= kOutputLevelDecay;
  outputLevelLeft_ = std::max(outputLevelLeft_, static_cast<float>(peaks.left) / 32765.0f);
  outputLevelRight_ = std::max(outputLevelRight_, static_cast<float>(peaks.right) / 32765.0f);

  constexpr auto kRelaxed = std::memory_order_relaxed;
  const int index = historyIndex_.load(kRelaxed);
  const auto at = static_cast<size_t>(index);
  if (soundIn_->IsScheduled() && !soundIn_->useADC.Value()) {
    inputLeftHistory_[at].store(soundIn_->FileLevelLeft(), kRelaxed);
    inputRightHistory_[at].store(soundIn_->FileLevelRight(), kRelaxed);
  }
  outputLeftHistory_[at].store(outputLevelLeft_, kRelaxed);
  outputRightHistory_[at].store(outputLevelRight_, kRelaxed);
  clockHistory_[at].store(ClockTickOf(context_.Clock().Position()), kRelaxed);
  clockRunningHistory_[at].store(context_.Clock().IsRunning(), kRelaxed);
  historyIndex_.store(index + 1 < kHistoryLength ? index + 1 : 0, kRelaxed);
}

bool TAudioEngineModule::OutputOnJack() const {
  const auto* out = dynamic_cast<const KWWaveOutStream*>(outStream_.get());
  if (out == nullptr) return false;
  const auto device = static_cast<size_t>(out->Device());
  return device < out->DeviceNames().size() && out->DeviceNames()[device].throughJack;
}

void TAudioEngineModule::SetJackTransport(JackTransportMode mode) {
  const bool lead = mode == JackTransportMode::Lead;
  if (mode == JackTransportMode::Follow) {
    SetClockSource(ClockSource::JackTransport);
  } else if (GetClockSource() == ClockSource::JackTransport) {
    SetClockSource(ClockSource::Internal);
  }
  jackSync_.SetLeading(lead);
  jackClient_.SetLeading(lead);
}

JackTransportMode TAudioEngineModule::GetJackTransport() const {
  if (GetClockSource() == ClockSource::JackTransport) return JackTransportMode::Follow;
  return jackSync_.Leading() ? JackTransportMode::Lead : JackTransportMode::Off;
}

std::string TAudioEngineModule::JackTransportProblem() const {
  constexpr const char* kNeeds = "JACK transport needs the output on JACK at 44100 Hz";
  if (!OutputOnJack()) return kNeeds;
  if (!jackClient_.Attached())
    return std::string(kNeeds) + " and MIDI through JACK (the program's JACK client is not open)";
  if (jackClient_.SampleRate() != static_cast<uint32_t>(kDeviceSampleRate))
    return std::string(kNeeds) + " (the server runs at " +
           std::to_string(jackClient_.SampleRate()) + " Hz)";
  return {};
}

void TAudioEngineModule::StartStopTransportWithClock() {
  if (exporting_) return;  // an export's clock is the render's, not the music's
  if (GetJackTransport() != JackTransportMode::Lead || GetClockSource() != ClockSource::MidiClock ||
      !jackClient_.Attached() || !OutputOnJack()) {
    transportStarted_ = false;
    return;
  }
  const bool running = context_.Clock().IsRunning();
  if (running == transportStarted_) return;
  transportStarted_ = running;
  if (running) {
    jackClient_.Start();
  } else {
    jackClient_.Stop();
  }
}

bool TAudioEngineModule::TransportMovesClock() const {
  // A MIDI clock or a Link session leads the clock by its own start and stop.
  return GetJackTransport() != JackTransportMode::Off &&
         GetClockSource() != ClockSource::MidiClock && GetClockSource() != ClockSource::Link &&
         JackTransportProblem().empty();
}

void TAudioEngineModule::StartPauseClock() {
  TempoClock& clock = context_.Clock();
  if (TransportMovesClock()) {
    // The clock follows when the transport rolls or stops.
    if (clock.IsRunning()) {
      jackClient_.Stop();
    } else {
      // Leading, the transport starts from where the clock stands.
      if (GetJackTransport() == JackTransportMode::Lead)
        jackClient_.Locate(std::llround(clock.Position() * clockSync_.OwnSamplesPerClock()));
      jackClient_.Start();
      if (HasSoundOut() && !IsAudioOutRunning()) StartAudioOut();
    }
    return;
  }
  if (linkSync_.Leads()) {
    // The session says when: the audio thread starts the clock at its bar.
    const bool start = !linkSync_.Wanted();
    linkSync_.Want(start);
    if (!start) {
      clock.SetRunning(false);
      return;
    }
  } else if (clock.IsRunning()) {
    clock.SetRunning(false);
    return;
  } else {
    clock.SetRunning(true);
  }
  if (HasSoundOut() && !IsAudioOutRunning()) StartAudioOut();
}

bool TAudioEngineModule::ClockStarted() const {
  return linkSync_.Leads() ? linkSync_.Wanted() : context_.Clock().IsRunning();
}

void TAudioEngineModule::StopClock() {
  if (TransportMovesClock()) {
    jackClient_.Stop();
    jackClient_.Locate(0);
    return;
  }
  linkSync_.Want(false);
  context_.Clock().SetRunning(false);
  context_.Clock().SetPosition(0.0);
}

bool TAudioEngineModule::SetTempo(double beatsPerMinute) {
  if (!std::isfinite(beatsPerMinute) || beatsPerMinute <= 0.0) return false;
  const double samplesPerClock = TempoClock::SamplesPerClockForTempo(beatsPerMinute);
  clockSync_.SetOwnTempo(samplesPerClock);
  jackSync_.Link().SetLocateSamplesPerClock(samplesPerClock);
  // Following, the audio thread plays it again when the clock is ours.
  if (!clockSync_.Following()) context_.Clock().SetSamplesPerClock(samplesPerClock);
  // Alone in a Link session, the document's tempo is the session's.
  if (link_.Peers() == 0) LeadLinkTempo(beatsPerMinute);
  return true;
}

void TAudioEngineModule::LeadLinkTempo(double beatsPerMinute) {
  if (!linkSync_.Leads() || !std::isfinite(beatsPerMinute) || beatsPerMinute <= 0.0) return;
  // Live, the audio thread hands it over; otherwise nothing else uses the session.
  if (IsAudioOutRunning()) {
    linkSync_.RequestTempo(beatsPerMinute);
  } else {
    link_.SetTempoNow(beatsPerMinute);
  }
}

void TAudioEngineModule::SetClockSource(ClockSource source) {
  const bool linkLed = linkSync_.Leads();
  if (source == ClockSource::Link) {
    // A clock running already goes on, onto the session's bars.
    if (!linkLed) linkSync_.Want(context_.Clock().IsRunning());
    clockSync_.SetSource(source);
    std::string why;
    if (!link_.Join(DocumentTempo(), why)) {
      host_.messages->ShowMessage("Ableton Link cannot start: " + why, "Tonegarden",
                                  MessageIcon::Warning);
    }
    return;
  }
  clockSync_.SetSource(source);
  if (source == ClockSource::JackTransport && jackSync_.Leading()) {
    jackSync_.SetLeading(false);
    jackClient_.SetLeading(false);
  }
  // A start that waited for the session's bar happens now.
  if (linkLed && linkSync_.Wanted()) context_.Clock().SetRunning(true);
  link_.Leave();
}

double TAudioEngineModule::Tempo() const {
  if (clockSync_.Following() && clockSync_.FollowedTempo() > 0.0) return clockSync_.FollowedTempo();
  return TempoClock::TempoForSamplesPerClock(context_.Clock().SamplesPerClock());
}

double TAudioEngineModule::DocumentTempo() const {
  const double own = clockSync_.OwnSamplesPerClock();
  return own > 0.0 ? TempoClock::TempoForSamplesPerClock(own)
                   : TempoClock::TempoForSamplesPerClock(context_.Clock().SamplesPerClock());
}

}  // namespace tg
