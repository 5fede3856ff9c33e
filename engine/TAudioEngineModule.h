#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "contraptions/io/soundin/TGSoundIn.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "engine/ClockSource.h"
#include "engine/LastMinutesRing.h"
#include "engine/midi/MidiClockSync.h"
#include "engine/midi/MidiDispatcher.h"
#include "engine/streams/AudioInStream.h"
#include "engine/streams/AudioOutStream.h"
#include "engine/sync/JackTransportClient.h"
#include "engine/sync/JackTransportMode.h"
#include "engine/sync/JackTransportSync.h"
#include "engine/sync/LinkClockSync.h"
#include "engine/sync/LinkSession.h"
#include "framework/ContraptionEngine.h"
#include "graph/ProcessingPool.h"
#include "graph/QSDynSigContext.h"
#include "host/HostServices.h"
#include "host/MemoryClipboard.h"
#include "host/StreamUserMessages.h"

namespace tg {

class SettingsStore;
class TContraptionFactory;
class TGardeningContraption;

// The audio engine: the signal graph, the two streams, the engine's own
// SoundOut and SoundIn processors, the processing cycle with its meters, and
// the tempo clock commands. It lives as long as the program and needs no
// window. Unless noted, operations are for the user-interface thread.
class TAudioEngineModule final : public ContraptionEngine,
                                 private EditListener,
                                 private ContraptionWindows {
 public:
  // Blocks of meters and clock kept to show what is heard now: enough for the
  // settings' longest latency, 8 buffers of 65536 bytes (416 blocks).
  static constexpr int kHistoryLength = 512;

  struct Meters {
    float inputLeft = 0.0f;
    float inputRight = 0.0f;
    float outputLeft = 0.0f;
    float outputRight = 0.0f;
    uint32_t clockTick = 0;
  };

  // Without streams the engine gets detached ones, driven by the caller.
  // With settings, device streams take their stored settings now and store
  // them again when the engine goes.
  explicit TAudioEngineModule(TContraptionFactory& factory,
                              std::unique_ptr<AudioOutStream> outStream = nullptr,
                              std::unique_ptr<AudioInStream> inStream = nullptr,
                              SettingsStore* settings = nullptr);
  ~TAudioEngineModule() override;
  TAudioEngineModule(const TAudioEngineModule&) = delete;
  TAudioEngineModule& operator=(const TAudioEngineModule&) = delete;

  QSDynSigContext& GetContext() { return context_; }
  const QSDynSigContext& GetContext() const { return context_; }
  AudioOutStream& OutStream() { return *outStream_; }
  AudioInStream& InStream() { return *inStream_; }
  TContraptionFactory& Factory() { return *factory_; }
  TGSoundOut& SoundOutProcessor() { return *soundOut_; }
  TGSoundIn& SoundInProcessor() { return *soundIn_; }
  const TGSoundIn& SoundInProcessor() const { return *soundIn_; }

  // The program's services; headless ones until the windowed program sets its own.
  HostServices& Host() override { return host_; }
  EngineLock& GetEngineLock() override { return outStream_->GetEngineLock(); }

  // The starts throw EWaveOutError or EWaveInError with the device's own
  // text. The stops always stop; a device that failed to (one unplugged) is
  // told through the host's messages, so that no edit that stops a stream
  // (deleting SoundOut, an undo) is broken off halfway.
  void StartAudioOut();
  void StopAudioOut();
  void StartAudioIn();
  void StopAudioIn();
  bool IsAudioOutRunning() const { return outStream_->IsActive(); }
  bool IsAudioInRunning() const { return inStream_->IsActive(); }

  bool HasSoundOut() const { return soundOutPlaced_.load(std::memory_order_relaxed); }
  bool HasSoundIn() const { return soundInPlaced_.load(std::memory_order_relaxed); }
  void SetSoundOutPlaced(bool placed) { soundOutPlaced_.store(placed, std::memory_order_relaxed); }
  void SetSoundInPlaced(bool placed) { soundInPlaced_.store(placed, std::memory_order_relaxed); }
  bool CanStartAudioIn() const { return HasSoundIn() && soundIn_->useADC.Value(); }
  bool IsUsingInputFile() const { return !soundIn_->useADC.Value(); }
  void SetUseInputFile(bool useFile);
  // The user's switch (SoundIn's check box, the menu's command): as
  // SetUseInputFile, and an edit of SoundIn's, so it marks the document and
  // can be undone.
  void EditUseInputFile(bool useFile);
  // After an edit of SoundIn that did not go through SetUseInputFile (a
  // preset, an undo): audio in stops unless it may run, and the file stops
  // out of file mode. Not under the engine lock.
  void FollowSoundInMode();
  // Told when SetUseInputFile or FollowSoundInMode changed SoundIn, so its
  // window can refresh.
  void SetSoundInChangedHandler(std::function<void()> handler) {
    soundInChanged_ = std::move(handler);
  }

  // Graph edits, each under the engine lock. The processing order follows
  // after each, or once after a batch of them (a document read, an undo of
  // many steps), worked out without the lock and put in place under it.
  void BeginGraphBatch();
  void EndGraphBatch();
  // The same for a scope.
  class GraphBatch {
   public:
    explicit GraphBatch(TAudioEngineModule& engine) : engine_(engine) { engine_.BeginGraphBatch(); }
    ~GraphBatch() { engine_.EndGraphBatch(); }
    GraphBatch(const GraphBatch&) = delete;
    GraphBatch& operator=(const GraphBatch&) = delete;

   private:
    TAudioEngineModule& engine_;
  };
  void AttachContraption(TGardeningContraption& contraption);
  // Not under the engine lock: the contraption's window is closed and its
  // processor's memory freed outside the lock.
  void DestroyContraption(std::unique_ptr<TGardeningContraption> contraption);
  bool ConnectContraptions(TGardeningContraption& source, int outlet,
                           TGardeningContraption& destination, int inlet);
  bool DisconnectContraptions(TGardeningContraption& source, int outlet,
                              TGardeningContraption& destination, int inlet);

  // The meters as heard now (the histories read with the display delay).
  Meters GetMeters();
  bool TakeOverloadFlag();
  // Fills that ran late or found the device run dry, since audio out started.
  uint32_t OverloadCount() const { return overloadCount_.load(std::memory_order_relaxed); }
  void ClearOverloadCount() { overloadCount_.store(0, std::memory_order_relaxed); }

  // "Limit the output": SoundOut's peak limiter at -0.3 dBFS (off at first;
  // the settings store keeps it).
  void SetOutputLimited(bool on);
  bool OutputLimited() const { return soundOut_->Limiting(); }

  // UI thread: how many frames of what is played to keep (0: none; the
  // stored minutes with a settings store, else none; renders keep nothing).
  // Room is made now while audio runs (what was kept is let go), else when
  // it next starts.
  void KeepLastFrames(int64_t frames);
  int64_t KeptFrames() const { return keptFrames_; }
  // What was played lately, for saving at any time.
  const LastMinutesRing& LastMinutes() const { return lastMinutes_; }

  // Every contraption's sound stops at once, without a click: the audio
  // thread fades the output out over one block, resets every contraption
  // between two blocks and fades back in. The clock, the audio and the
  // document go on untouched. With audio out stopped the resets happen here.
  void Panic();

  // UI thread with audio out stopped (an export, a render, a test): runs the
  // graph offline for frameCount frames of 16-bit stereo, first waiting,
  // before each block, for the sound files asked for to be loaded. The output
  // stream fills its buffers through FillBuffer, which never waits.
  void OutStreamFillBuffer(int16_t* buffer, int frameCount);

  // Clock commands.
  void StartPauseClock();
  void StopClock();
  // Beats per minute; a tempo that is not a positive number is refused.
  // Following a MIDI clock, the tempo set is the document's, played again
  // once the clock is the program's own.
  bool SetTempo(double beatsPerMinute);
  // The tempo the clock plays (a followed one while following).
  double Tempo() const;
  // The tempo last set, which documents keep.
  double DocumentTempo() const;

  // "Clock source": the program's own clock, a MIDI clock it follows while
  // audio out runs, or an Ableton Link session (chosen, the program joins
  // it on the local network; otherwise Link stays off, and a session it
  // cannot join is said). Renders and exports always use the program's own.
  // Following the JACK transport is "JACK transport: follow" (and no lead).
  void SetClockSource(ClockSource source);
  ClockSource GetClockSource() const { return clockSync_.Source(); }
  // Whether the clock follows a MIDI clock now.
  bool FollowingMidiClock() const { return clockSync_.Following(); }
  MidiClockSync& ClockSync() { return clockSync_; }

  // "JACK transport": off, follow (the clock source is then the JACK
  // transport) or lead (the program is its timebase master), through the
  // program's JACK client. Either way the clock starts, stops and locates
  // with the transport, and the clock commands move the transport, while
  // the output plays through JACK at 44100 Hz and that client is open.
  void SetJackTransport(JackTransportMode mode);
  JackTransportMode GetJackTransport() const;
  // Why the JACK transport cannot be used now; empty when it can.
  std::string JackTransportProblem() const;
  // Whether the output device chosen plays through a JACK server.
  bool OutputOnJack() const;
  // Often: leading the transport while a MIDI clock leads the clock, the
  // transport starts and stops as the clock does.
  void StartStopTransportWithClock();
  JackTransportClient& JackClient() { return jackClient_; }
  JackTransportSync& JackSync() { return jackSync_; }
  // Ableton Link. While the session leads (the source is Link and joined),
  // a start waits for the session's next bar (at once without peers), and
  // the tempo followed is the session's.
  bool LinkLeads() const { return linkSync_.Leads(); }
  // Any thread: the other programs in the session.
  int LinkPeers() const { return link_.Peers(); }
  // "Start/stop sync": the session's start and stop start and pause the
  // clock, and ours start and stop the session.
  void SetLinkStartStopSync(bool on) { link_.SetStartStopSync(on); }
  bool LinkStartStopSync() const { return link_.StartStopSync(); }
  // The user's own tempo (the tempo box) becomes the session's. Any other
  // change of the document's tempo does only while no peer is there.
  void LeadLinkTempo(double beatsPerMinute);
  LinkClockSync& LinkSync() { return linkSync_; }
  // The clock runs, or it is started and waits for the session's bar.
  bool ClockStarted() const;

  // "Processing threads": how many threads share the graph pass, the audio
  // thread's included; 0 is automatic (one per core). More than there are
  // cores are not used. The helpers start and stop outside the engine lock.
  static constexpr int kAutomaticThreads = 0;
  void SetProcessingThreads(int requested);
  int ProcessingThreads() const { return requestedThreads_; }
  int ActiveProcessingThreads() const { return pool_ ? pool_->Threads() : 1; }
  // What a request comes to on this computer.
  static int ThreadsFor(int requested);
  static int Cores();
  // Playing live, a helper the system may put aside could make the sound
  // drop out: helpers are used only when each got real-time scheduling, and
  // otherwise one thread works alone and this says why (empty when all is
  // well). An offline render needs no such care. UI thread: it also says
  // when the helpers stand idle because sharing this patch measured slower
  // than one thread here.
  void SetHelpersNeedRealTime(bool need) { helpersNeedRealTime_ = need; }
  std::string ProcessingThreadsNote() const;
  // Raises a new helper's priority; answers whether it got real-time
  // scheduling (tests stand in for the system).
  void SetHelperStart(std::function<bool()> start) { helperStart_ = std::move(start); }

  // MIDI: the inputs whose messages the audio thread plays, and the targets
  // it plays them on (each under the engine lock, briefly). The map given
  // back is the one before, to be freed by the caller.
  bool AttachMidiInput(MidiInput& input);
  void DetachMidiInput(MidiInput& input);
  std::unique_ptr<MidiTargetMap> SetMidiTargets(std::unique_ptr<MidiTargetMap> map);
  // With audio out stopped, what the inputs received is applied now, as the
  // audio thread would; with audio out running, nothing happens.
  void ApplyMidiWhileStopped();
  // UI thread: while an export renders, MIDI that arrives waits until it is
  // over (the window's event loop runs between its chunks), so an export
  // never hears it.
  void SetExporting(bool exporting) { exporting_ = exporting; }
  bool Exporting() const { return exporting_; }
  // UI thread: the parameters MIDI moved.
  bool TakeMidiChange(MidiDispatcher::Change& change) { return midi_.TakeChange(change); }
  const MidiDispatcher& Midi() const { return midi_; }

  // The document-modified byte that every contraption edit sets.
  bool IsDocumentModified() const { return documentModified_; }
  void SetDocumentModified(bool modified) { documentModified_ = modified; }

  // The clock as heard now, read as the meters are (any thread, no lock):
  // false while the heard block was made with the clock stopped or paused.
  bool HeardClockTick(uint32_t& tick) const override;

  int DisplayDelay() const { return displayDelay_.load(std::memory_order_relaxed); }
  int HistoryIndex() const { return historyIndex_.load(std::memory_order_relaxed); }

 private:
  void ContraptionEdited(TGardeningContraption& contraption) override;
  void TellStopFailure(const std::string& failure);
  void ShowWindow(TGardeningContraption&) override {}
  void CloseWindow(TGardeningContraption&) override {}
  void ShowHelp(const std::string&) override {}
  // Around a graph edit: the order is not worked out under the lock, and
  // follows after it unless a batch is open.
  void BeginGraphEdit();
  void GraphEdited();
  void RebuildGraph();
  void LeaveGraph(QSDynSigPipe& pipe);
  void SwitchInputFile(bool useFile);
  void SoundInChanged() const {
    if (soundInChanged_) soundInChanged_();
  }
  // The history slot being heard now.
  size_t HeardIndex() const;
  void ClearInputMeters();
  void ClearOutputMeters();
  // Audio thread, under the engine lock; or offline, as above.
  void FillBuffer(int16_t* buffer, int frameCount, bool offline);
  void FillBlock(int16_t* out, bool anotherFollows);
  // Audio thread: the block's output faded as the panic in progress asks.
  void FadeForPanic(const float*& left, const float*& right);
  // The clock commands go to the JACK transport (and come back from it).
  bool TransportMovesClock() const;

  TContraptionFactory* factory_;
  SettingsStore* settings_;
  std::unique_ptr<AudioOutStream> outStream_;
  std::unique_ptr<AudioInStream> inStream_;
  // Before the context, which it must outlive.
  std::unique_ptr<ProcessingPool> pool_;
  int requestedThreads_ = 1;
  bool helpersNeedRealTime_ = true;
  bool exporting_ = false;  // the UI thread's
  std::string threadsNote_;
  std::function<bool()> helperStart_;
  int graphBatch_ = 0;  // open graph batches (the user-interface thread's)
  QSDynSigContext context_;
  std::atomic<bool> soundOutPlaced_{false};
  std::atomic<bool> soundInPlaced_{false};
  std::function<void()> soundInChanged_;
  int inputReadPosition_ = 0;
  // The meters and the clock as the audio thread leaves them, block by
  // block, for the user-interface thread to read without the engine lock:
  // every word is an atomic of its own (a reading may mix two blocks, which
  // no one can see on a meter).
  template <typename T>
  using History = std::array<std::atomic<T>, kHistoryLength>;
  std::atomic<int> historyIndex_{0};
  std::atomic<int> displayDelay_{0};
  float inputLevelLeft_ = 0.0f;  // the audio thread's
  float inputLevelRight_ = 0.0f;
  std::atomic<float> shownInputLeft_{0.0f};
  std::atomic<float> shownInputRight_{0.0f};
  History<float> inputLeftHistory_{};
  History<float> inputRightHistory_{};
  History<float> outputLeftHistory_{};
  History<float> outputRightHistory_{};
  History<uint32_t> clockHistory_{};
  History<bool> clockRunningHistory_{};
  float outputLevelLeft_ = 0.0f;
  float outputLevelRight_ = 0.0f;
  std::atomic<bool> overloadSeen_{false};
  std::atomic<uint32_t> overloadCount_{0};
  // A panic asked for by the user-interface thread; the audio thread takes it
  // at a block boundary and fades out, then in (under the engine lock).
  enum class PanicFade : uint8_t { None, Out, In };
  std::atomic<bool> panicRequested_{false};
  PanicFade panicFade_ = PanicFade::None;
  MidiDispatcher midi_;
  MidiClockSync clockSync_{context_.Clock(), midi_.Timeline()};
  JackTransportSync jackSync_{context_.Clock(), clockSync_};
  JackTransportClient jackClient_{jackSync_.Link()};
  bool transportStarted_ = false;  // by StartStopTransportWithClock
  LinkSession link_;
  LinkClockSync linkSync_{context_.Clock(), clockSync_, midi_.Timeline(), link_};
  int64_t renderedFrames_ = 0;  // live, since audio out started
  std::array<float, kBlockSize> fadedLeft_{};
  std::array<float, kBlockSize> fadedRight_{};
  bool documentModified_ = false;
  std::unique_ptr<TGSoundOut> soundOut_;
  std::unique_ptr<TGSoundIn> soundIn_;
  LastMinutesRing lastMinutes_;
  int64_t keptFrames_ = 0;

  MemoryClipboard headlessClipboard_;
  StreamUserMessages headlessMessages_;
  HostServices host_;
};

}  // namespace tg
