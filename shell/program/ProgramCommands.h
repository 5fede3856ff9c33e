#pragma once

#include <string>

namespace tg {

class KWDocumentController;
class KWReloadManager;
class TAudioEngineModule;
class TGDocument;

// The main window's file, clock and tempo commands without the window: which
// audio stops and starts again around a command, and what the closed-files
// list learns. Device errors from restarting audio reach the caller. UI thread.
class ProgramCommands {
 public:
  ProgramCommands(TAudioEngineModule& engine, TGDocument& document,
                  KWDocumentController& controller, KWReloadManager& closedFiles)
      : engine_(engine), document_(document), controller_(controller), closedFiles_(closedFiles) {}

  bool FileNew();
  bool FileOpen();
  bool Reopen(const std::string& fileName);
  bool FileRevert();
  bool FileSave();
  bool FileSaveAs();

  // Runs work with audio out and in stopped, then starts again what ran, if
  // the patch still has what it needs.
  template <typename Work>
  void WithAudioStopped(Work&& work) {
    const AudioState was = StopAudio();
    work();
    RestartAudio(was);
  }

  // Start Clock: pauses a running clock, else runs it (and audio out with it).
  void StartOrPauseClock();
  void StopClock();
  // False for a tempo outside 1 … 240; otherwise set and the document modified.
  bool ChangeTempo(double beatsPerMinute);

  // Asks to save changes; false when the user keeps the document open.
  // Otherwise the document joins the closed files and audio stops.
  bool Close();

 private:
  struct AudioState {
    bool out = false;
    bool in = false;
  };
  AudioState StopAudio();
  void RestartAudio(AudioState was);
  // A command that replaces the document: the old name joins the closed files.
  template <typename Command>
  bool Replace(Command&& command);

  TAudioEngineModule& engine_;
  TGDocument& document_;
  KWDocumentController& controller_;
  KWReloadManager& closedFiles_;
};

}  // namespace tg
