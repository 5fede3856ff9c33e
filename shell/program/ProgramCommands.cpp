#include "shell/program/ProgramCommands.h"

#include "engine/TAudioEngineModule.h"
#include "shell/document/KWDocumentController.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/KWReloadManager.h"

namespace tg {

ProgramCommands::AudioState ProgramCommands::StopAudio() {
  const AudioState was{engine_.IsAudioOutRunning(), engine_.IsAudioInRunning()};
  if (was.out) engine_.StopAudioOut();
  if (was.in) engine_.StopAudioIn();
  return was;
}

void ProgramCommands::RestartAudio(AudioState was) {
  if (was.in && engine_.CanStartAudioIn()) engine_.StartAudioIn();
  if (was.out && engine_.HasSoundOut()) engine_.StartAudioOut();
}

template <typename Command>
bool ProgramCommands::Replace(Command&& command) {
  const std::string previous = document_.FileName();
  const bool done = command();
  if (done && !previous.empty() && previous != document_.FileName()) closedFiles_.Add(previous);
  return done;
}

bool ProgramCommands::FileNew() {
  StopAudio();
  engine_.StopClock();
  return Replace([&] { return controller_.NewDocument(); });
}

bool ProgramCommands::FileOpen() {
  const std::string fileName = controller_.AskFileToOpen();
  return !fileName.empty() && Reopen(fileName);
}

bool ProgramCommands::Reopen(const std::string& fileName) {
  // A file that is no document must not even interrupt the music.
  if (!document_.CanOpen(fileName)) return false;
  bool done = false;
  WithAudioStopped([&] { done = Replace([&] { return controller_.OpenFile(fileName); }); });
  return done;
}

bool ProgramCommands::FileRevert() {
  if (!document_.HasFileName() || !document_.CanOpen(document_.FileName())) return false;
  bool done = false;
  WithAudioStopped([&] { done = controller_.Revert(); });
  return done;
}

bool ProgramCommands::FileSave() { return controller_.Save(); }
bool ProgramCommands::FileSaveAs() { return controller_.SaveDocumentAs(); }

void ProgramCommands::StartOrPauseClock() { engine_.StartPauseClock(); }
void ProgramCommands::StopClock() { engine_.StopClock(); }

bool ProgramCommands::ChangeTempo(double beatsPerMinute) {
  if (!(beatsPerMinute >= 1.0 && beatsPerMinute <= 240.0)) return false;
  // An edit like any other: undoable, and the document is modified.
  document_.Patch().SetTempo(beatsPerMinute);
  // In an Ableton Link session, the user's tempo is the session's too.
  engine_.LeadLinkTempo(beatsPerMinute);
  return true;
}

bool ProgramCommands::Close() {
  if (!controller_.CanClose()) return false;
  closedFiles_.Add(document_.FileName());
  StopAudio();
  return true;
}

}  // namespace tg
