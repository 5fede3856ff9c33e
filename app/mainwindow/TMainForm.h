#pragma once

#include <QMainWindow>
#include <QPointer>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "shell/program/CommandLine.h"
#include "shell/program/WindowPlacement.h"

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolButton;

namespace tg {

class Autosaver;
class ContraptionWindowHost;
class KWDocumentController;
class KWDocumentQueries;
class KWDWMeter;
class KWNumberEdit;
class KWPatcherPanel;
class KWReloadManager;
class KWWaveInStream;
class KWWaveOutStream;
class LastMinutesSaver;
class PatchEditor;
class PatchModel;
class PatcherCommands;
struct PatchNode;
class ProgramCommands;
class RecoveryFiles;
class QtClipboard;
class QtUserMessages;
class SettingsStore;
class TAudioEngineModule;
class TGDocument;
class THelpBrowser;
class TMidiLink;
class TPatternedScrollBox;
class UserMessages;

// The program's one main window: menus, toolbar and status bar, the patcher
// pane beside the properties pane, and every command to the engine.
class TMainForm final : public QMainWindow {
  Q_OBJECT

 public:
  struct Options {
    // The device streams behind the engine, for the settings dialog (may be null).
    KWWaveOutStream* outStream = nullptr;
    KWWaveInStream* inStream = nullptr;
    // Stand-ins for the dialogs and message boxes (tests); null: the real ones.
    KWDocumentQueries* queries = nullptr;
    UserMessages* messages = nullptr;
    // Where unsaved changes are kept against a crash, and looked for at the
    // start; empty: neither (tests and tools).
    std::string recoveryDirectory;
    // Opens the MIDI ports chosen in the settings (the program; tests leave them shut).
    bool openMidi = false;
  };

  TMainForm(TAudioEngineModule& engine, SettingsStore& settings, CommandLine commandLine,
            Options options);
  ~TMainForm() override;

  // Opens the command line's document and starts what its switches ask for.
  void Start();

  // File commands.
  void FileNew();
  void FileOpen();
  void Reopen(const std::string& fileName);
  void FileRevert();
  void FileSave();
  void FileSaveAs();
  void ExportAsWave();
  // File > "Save the Last Minutes…": asks for a name, then writes on a worker.
  void SaveLastMinutes();
  // The same to a chosen file (false while another save is under way).
  bool SaveLastMinutesTo(const QString& fileName);
  void ShowSettings();
  // What opening the File menu does: modified state, enabling, Reopen list.
  void PrepareFileMenu();
  void PrepareViewMenu();

  // Clock and audio commands.
  void StartClock();
  void StopClock();
  void StartAudioOut();
  void StopAudioOut();
  void StartAudioIn();
  void StopAudioIn();
  void ToggleUseInputFile();
  // Every contraption's sound stops at once; clock and audio run on.
  void Panic();

  // Panes.
  void SetPatcherPaneShown(bool shown);
  void SetPropertiesPaneShown(bool shown);

  void UpdateControls();
  // Edit commands.
  void Undo();
  void Redo();
  void UpdateCaption();
  // The title's unsaved-changes mark follows the document.
  void ShowModified();
  // A new contraption of a type at a point of the patcher pane's content
  // (the New menu and the quick-add field); null when the type refuses.
  PatchNode* NewContraption(const std::string& typeName, QPoint at);
  // Cut, Copy, Paste or Duplicate from the menu or the toolbar, acting where
  // the focus is: the patcher pane, a text field or an editor window.
  void EditCommand(const QString& command);
  void UpdateEditActions();
  PatcherCommands& PaneCommands() const { return *patcherCommands_; }

  // The timers' work.
  void UpdateStatus();
  void UpdateMeters();
  // The overload count, red for a while after each new one.
  void ShowOverloads(std::chrono::steady_clock::time_point now);
  static constexpr std::chrono::seconds kOverloadHighlight{10};
  // The output meter's clip light stays on this long after a clipped block.
  static constexpr std::chrono::seconds kClipLightHold{2};
  // Lights the output meter's clip light at a sample over full scale since
  // the last look (the meter timer's work, for tests with a time).
  void ShowTimecode(uint32_t clockTick);
  void ShowOwnTempo();
  void ShowClipLight(std::chrono::steady_clock::time_point now);

  // For tests and the help window.
  QAction* Action(const QString& name) const;
  QMenu* NewMenu() const { return newMenu_; }
  QMenu* ReopenMenu() const { return reopenMenu_; }
  QMenu* PaneMenu() const { return paneMenu_; }
  KWPatcherPanel* PatcherPanel() const { return patcher_; }
  TPatternedScrollBox* PropertiesPane() const { return properties_; }
  ContraptionWindowHost& WindowHost() const { return *windowHost_; }
  THelpBrowser& Help();
  TGDocument& Document() const { return *document_; }
  PatchEditor& Patch() const { return *patch_; }
  PatchModel& Model() const { return *model_; }
  KWReloadManager& ClosedFiles() const { return *closedFiles_; }
  KWNumberEdit* TempoEdit() const { return tempo_; }
  QLabel* TimecodeLabel() const { return timecode_; }
  QLabel* CpuLabel() const { return cpu_; }
  QLabel* TakeLossLabel() const { return takeLoss_; }
  QLabel* ClipLabel() const { return clips_; }
  QLabel* LinkLabel() const { return link_; }
  KWDWMeter* OutputMeter() const { return outputMeter_; }
  QToolButton* OverloadButton() const { return overloads_; }
  QToolButton* UndoButton() const { return undo_; }
  Autosaver* AutoSaver() const { return autosaver_.get(); }
  RecoveryFiles* Recovery() const { return recovery_.get(); }
  QToolButton* AudioOutButton() const { return dacs_; }
  QToolButton* AudioInButton() const { return adcs_; }
  QToolButton* StartClockButton() const { return startClock_; }
  QTimer* UiTimer() const { return uiTimer_; }
  QTimer* MeterTimer() const { return meterTimer_; }
  QWidget* ToolBar() const;
  UserMessages& Messages() const { return *messages_; }
  TMidiLink& Midi() const { return *midi_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildPanes();
  void BuildNewMenu(QMenu* menu);
  QAction* AddAction(QMenu* menu, const QString& name, const QString& text,
                     const QKeySequence& shortcut, const QString& hint);
  void ShowPaneMenu(QPoint content, QPoint global);
  // Runs a command that may fail in the sound card's layer.
  template <typename Command>
  void Guarded(Command&& command);
  // Brings the window in line with the document; replaced: another patch came.
  void AfterDocumentChange(bool replaced);
  void ShowTakeLoss();
  // The CPU load and, while audio out runs, the overload count: shown while
  // no temporary message has the status bar.
  void ShowStatusFigures();
  void ApplyLayoutFromModel();
  void StoreLayoutInModel();
  // The user changed the layout: an undoable edit of the document.
  void LayoutEdited();
  // After an undo or redo: the window shows what the patch now holds.
  void AfterUndoOrRedo();
  void ShowUndoState();
  void RestorePlacement();
  WindowPlacement::Frame FrameMargins() const;
  void StorePlacement();
  void SetClockGlyph(bool running);
  // The clock's buttons and items: started (running, or waiting for a Link
  // session's bar) or not.
  void ShowClockState();
  // "Link: N peers" while a Link session leads the clock; and the clock's
  // buttons, when the session started or stopped it.
  void ShowLinkState();
  void ShowAudioDirection(const QString& direction, QToolButton* button, bool available,
                          bool running);
  void ShowPane(QWidget* pane, const QWidget* other, QAction* check, bool shown);

  TAudioEngineModule& engine_;
  SettingsStore& settings_;
  CommandLine commandLine_;
  Options options_;

  std::unique_ptr<QtUserMessages> ownMessages_;
  UserMessages* messages_ = nullptr;
  std::unique_ptr<QtClipboard> clipboard_;
  std::unique_ptr<KWDocumentQueries> ownQueries_;
  std::unique_ptr<PatchModel> model_;
  std::unique_ptr<PatchEditor> patch_;
  std::unique_ptr<TGDocument> document_;
  std::unique_ptr<KWDocumentController> controller_;
  std::unique_ptr<KWReloadManager> closedFiles_;
  std::unique_ptr<RecoveryFiles> recovery_;
  std::unique_ptr<Autosaver> autosaver_;
  std::unique_ptr<LastMinutesSaver> lastMinutesSaver_;
  std::unique_ptr<ProgramCommands> commands_;
  std::unique_ptr<ContraptionWindowHost> windowHost_;
  QPointer<THelpBrowser> help_;
  std::unique_ptr<TMidiLink> midi_;

  std::map<QString, QAction*> actions_;
  QMenu* reopenMenu_ = nullptr;
  QMenu* newMenu_ = nullptr;
  QMenu* paneMenu_ = nullptr;
  QAction* newSoundIn_ = nullptr;
  QAction* newSoundOut_ = nullptr;
  QAction* paneEdit_ = nullptr;
  QAction* paneHelp_ = nullptr;
  QPoint lastPoint_;
  int lastNode_ = -1;

  QWidget* toolBar_ = nullptr;
  QToolButton* startClock_ = nullptr;
  QToolButton* stopClock_ = nullptr;
  QLabel* timecode_ = nullptr;
  KWNumberEdit* tempo_ = nullptr;
  QToolButton* adcs_ = nullptr;
  QToolButton* dacs_ = nullptr;
  KWDWMeter* inputMeter_ = nullptr;
  KWDWMeter* outputMeter_ = nullptr;
  QLabel* cpu_ = nullptr;
  QLabel* takeLoss_ = nullptr;
  QLabel* clips_ = nullptr;
  QLabel* link_ = nullptr;
  QTimer* linkTimer_ = nullptr;
  bool clockShownStarted_ = false;
  std::chrono::steady_clock::time_point clipLightUntil_{};
  uint64_t clippedBlocksSeen_ = 0;
  QToolButton* overloads_ = nullptr;
  QToolButton* undo_ = nullptr;
  std::map<QString, QToolButton*> editButtons_;
  PatcherCommands* patcherCommands_ = nullptr;
  uint32_t shownOverloads_ = 0;
  std::chrono::steady_clock::time_point overloadRedUntil_{};

  QSplitter* splitter_ = nullptr;
  QWidget* panel2_ = nullptr;
  KWPatcherPanel* patcher_ = nullptr;
  TPatternedScrollBox* properties_ = nullptr;

  QTimer* uiTimer_ = nullptr;
  QTimer* meterTimer_ = nullptr;
  QTimer* modifiedTimer_ = nullptr;
  bool placementRestored_ = false;
  bool showsFollowedTempo_ = false;  // the tempo box shows a followed tempo
  bool closing_ = false;
};

}  // namespace tg
