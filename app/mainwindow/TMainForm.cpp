#include "app/mainwindow/TMainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <ctime>
#include <optional>
#include <sstream>
#include <string_view>

#include "app/dialogs/TExportAsWaveForm.h"
#include "app/dialogs/TSettingsForm.h"
#include "app/help/ExampleFiles.h"
#include "app/help/THelpBrowser.h"
#include "app/host/QtHostServices.h"
#include "app/mainwindow/LastMinutesSaver.h"
#include "app/mainwindow/TGDocumentQueries.h"
#include "app/midiwindow/TMidiLink.h"
#include "app/midiwindow/TMidiSettingsPage.h"
#include "app/patcher/KWPatcherPanel.h"
#include "app/patcher/PatcherCommands.h"
#include "controls/KWDWMeter.h"
#include "controls/KWNumberEdit.h"
#include "controls/StagePalette.h"
#include "engine/LastMinutesFile.h"
#include "engine/TAudioEngineModule.h"
#include "engine/Timecode.h"
#include "engine/devices/WaveDevice.h"
#include "engine/sync/LinkSession.h"
#include "files/SoundFilePaths.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/SaveFileDialog.h"
#include "forms/TContraptionForm.h"
#include "forms/TPatternedScrollBox.h"
#include "framework/TContraptionFactory.h"
#include "framework/TContraptionMaker.h"
#include "framework/TGardeningContraption.h"
#include "host/SettingsStore.h"
#include "properties/NumberText.h"
#include "shell/document/Autosaver.h"
#include "shell/document/KWDocumentController.h"
#include "shell/document/RecoveryFiles.h"
#include "shell/document/RecoveryOffer.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/patch/PatchModel.h"
#include "shell/patch/StarterSettings.h"
#include "shell/patch/TypeSearch.h"
#include "shell/program/KWReloadManager.h"
#include "shell/program/ProgramCommands.h"
#include "shell/program/WindowPlacement.h"

namespace tg {
namespace {

// A status figure that warns takes the theme's warning colour; the style is
// set only when it changes, as setting one restyles the label.
void ShowAsWarning(QWidget* widget, bool warning) {
  const QString style =
      warning ? "color: " + StagePalette::Current().warningText.name() + ";" : QString();
  if (widget->styleSheet() != style) widget->setStyleSheet(style);
}

constexpr int kPaneMinimum = 30;

QString VolumeControlProgram() {
  for (const char* program : {"pavucontrol", "pavucontrol-qt", "alsamixergui"}) {
    QString path = QStandardPaths::findExecutable(program);
    if (!path.isEmpty()) return path;
  }
  return {};
}

}  // namespace

TMainForm::TMainForm(TAudioEngineModule& engine, SettingsStore& settings, CommandLine commandLine,
                     Options options)
    : engine_(engine),
      settings_(settings),
      commandLine_(std::move(commandLine)),
      options_(options),
      clipboard_(std::make_unique<QtClipboard>()),
      model_(std::make_unique<PatchModel>()),
      closedFiles_(std::make_unique<KWReloadManager>()) {
  setWindowTitle("Tonegarden");
  if (options_.messages == nullptr) ownMessages_ = std::make_unique<QtUserMessages>(this);
  messages_ = options_.messages != nullptr ? options_.messages : ownMessages_.get();
  KWDocumentQueries* queries = options_.queries;
  if (queries == nullptr) {
    ownQueries_ = std::make_unique<TGDocumentQueries>(this);
    queries = ownQueries_.get();
  }
  patch_ = std::make_unique<PatchEditor>(engine_, *model_);
  document_ = std::make_unique<TGDocument>(*patch_, *queries);
  controller_ = std::make_unique<KWDocumentController>(*document_, *queries);
  closedFiles_->Load(settings_);
  commands_ = std::make_unique<ProgramCommands>(engine_, *document_, *controller_, *closedFiles_);
  if (!options_.recoveryDirectory.empty()) {
    recovery_ = std::make_unique<RecoveryFiles>(
        options_.recoveryDirectory, static_cast<long>(QCoreApplication::applicationPid()));
    autosaver_ = std::make_unique<Autosaver>(
        *recovery_, [this] { return document_->FileName(); },
        [this] {
          std::ostringstream text;
          document_->WriteTo(text);
          return text.str();
        });
  }
  midi_ = std::make_unique<TMidiLink>(*patch_, settings_, this, options_.openMidi,
                                      [this](const QString& text) {
                                        if (!closing_) statusBar()->showMessage(text, 5000);
                                      });
  SoundFilePaths::Instance().Load(settings_);
  SoundFilePaths::Instance().SetApplicationDirectory(
      (QApplication::applicationDirPath() + "/").toStdString());

  BuildPanes();
  BuildMenus();
  BuildToolBar();
  cpu_ = new QLabel(this);
  cpu_->setFixedWidth(110);
  cpu_->setContentsMargins(2, 0, 0, 0);
  statusBar()->addWidget(cpu_);
  overloads_ = new QToolButton(this);
  overloads_->setAutoRaise(true);
  overloads_->setToolTip("Overloads since audio out started; click to count afresh");
  statusBar()->addWidget(overloads_);
  connect(overloads_, &QToolButton::clicked, this, [this] {
    engine_.ClearOverloadCount();
    overloadRedUntil_ = {};
    ShowOverloads(std::chrono::steady_clock::now());
  });
  // A temporary message hides the figures; they must not come back over it.
  connect(statusBar(), &QStatusBar::messageChanged, this, [this] { ShowStatusFigures(); });
  takeLoss_ = new QLabel(this);
  statusBar()->addPermanentWidget(takeLoss_);
  clips_ = new QLabel(this);
  clips_->setToolTip("Samples sent over full scale since audio out started or the take began");
  statusBar()->addPermanentWidget(clips_);
  link_ = new QLabel(this);
  link_->setToolTip("The other programs in the Ableton Link session");
  link_->hide();
  statusBar()->addPermanentWidget(link_);
  linkTimer_ = new QTimer(this);
  linkTimer_->setInterval(250);
  connect(linkTimer_, &QTimer::timeout, this, [this] { ShowLinkState(); });

  HostServices& host = engine_.Host();
  host.messages = messages_;
  host.clipboard = clipboard_.get();
  host.windows = windowHost_.get();

  uiTimer_ = new QTimer(this);
  uiTimer_->setInterval(1000);
  connect(uiTimer_, &QTimer::timeout, this, [this] { UpdateStatus(); });
  meterTimer_ = new QTimer(this);
  meterTimer_->setInterval(50);
  connect(meterTimer_, &QTimer::timeout, this, [this] { UpdateMeters(); });
  // Some edits (a node dragged in the pane) tell nobody: the mark looks often.
  modifiedTimer_ = new QTimer(this);
  modifiedTimer_->setInterval(250);
  connect(modifiedTimer_, &QTimer::timeout, this, [this] {
    ShowModified();
    if (autosaver_ != nullptr && !closing_) {
      autosaver_->Tick(patch_->Modified(), patch_->TakeChangeCount(),
                       std::chrono::steady_clock::now());
    }
  });
  modifiedTimer_->start();

  patch_->SetChangedHandler([this] {
    patcher_->ModelChanged();
    UpdateControls();
    UpdateEditActions();
  });
  // A deletion is recorded after the pane has heard of its parts.
  patch_->History().SetChangedHandler([this] {
    ShowUndoState();
    ShowModified();
  });
  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateEditActions(); });
  if (QClipboard* clipboard = QGuiApplication::clipboard())
    connect(clipboard, &QClipboard::dataChanged, this, [this] { UpdateEditActions(); });
  ApplyLayoutFromModel();
  UpdateCaption();
  UpdateControls();
}

TMainForm::~TMainForm() {
  closing_ = true;
  engine_.SetSoundInChangedHandler(nullptr);
  // Focus moves while the widgets go, after the members the handler uses.
  disconnect(qApp, nullptr, this, nullptr);
  patch_->SetChangedHandler(nullptr);
  patch_->History().SetChangedHandler(nullptr);
  engine_.StopAudioOut();
  engine_.StopAudioIn();
  patch_->Clear();
  StorePlacement();
  closedFiles_->Store(settings_);
  HostServices& host = engine_.Host();
  if (host.messages == messages_) host.messages = nullptr;
  if (host.clipboard == clipboard_.get()) host.clipboard = nullptr;
  if (host.windows == windowHost_.get()) host.windows = nullptr;
}

// ---- building ---------------------------------------------------------------

QAction* TMainForm::AddAction(QMenu* menu, const QString& name, const QString& text,
                              const QKeySequence& shortcut, const QString& hint) {
  auto* action = menu->addAction(text);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  action->setStatusTip(hint);
  action->setObjectName(name);
  actions_[name] = action;
  return action;
}

QAction* TMainForm::Action(const QString& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

void TMainForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->menuAction()->setStatusTip("File related commands");
  connect(AddAction(file, "New", "&New", QKeySequence("Ctrl+N"), "Create a new file"),
          &QAction::triggered, this, [this] { FileNew(); });
  connect(AddAction(file, "Open", "&Open...", QKeySequence("Ctrl+O"), "Open an existing file"),
          &QAction::triggered, this, [this] { FileOpen(); });
  reopenMenu_ = file->addMenu("&Reopen");
  actions_["Reopen"] = reopenMenu_->menuAction();
  connect(AddAction(file, "Revert", "Revert", {}, "Revert current file"), &QAction::triggered, this,
          [this] { FileRevert(); });
  file->addSeparator();
  connect(AddAction(file, "Save", "&Save", QKeySequence("Ctrl+S"), "Save current file"),
          &QAction::triggered, this, [this] { FileSave(); });
  connect(AddAction(file, "SaveAs", "Save &As...", {}, "Save current file as..."),
          &QAction::triggered, this, [this] { FileSaveAs(); });
  file->addSeparator();
  connect(AddAction(file, "Export", "&Export as Wave File...", QKeySequence("Ctrl+E"), {}),
          &QAction::triggered, this, [this] { ExportAsWave(); });
  connect(AddAction(file, "SaveLastMinutes", "Save the &Last Minutes\u2026", {},
                    "Save what was played lately as a wave file"),
          &QAction::triggered, this, [this] { SaveLastMinutes(); });
  file->addSeparator();
  connect(AddAction(file, "Exit", "E&xit", {}, "Exit the application"), &QAction::triggered, this,
          &QWidget::close);
  connect(file, &QMenu::aboutToShow, this, [this] { PrepareFileMenu(); });

  QMenu* edit = menuBar()->addMenu("&Edit");
  connect(AddAction(edit, "Undo", "&Undo", QKeySequence::Undo, "Undo the last action"),
          &QAction::triggered, this, [this] { Undo(); });
  connect(
      AddAction(edit, "Redo", "&Redo", QKeySequence("Ctrl+Shift+Z"), "Redo the last undone action"),
      &QAction::triggered, this, [this] { Redo(); });
  Action("Redo")->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
  edit->addSeparator();
  AddAction(edit, "Cut", "Cu&t", QKeySequence("Ctrl+X"), "Cut to clipboard");
  AddAction(edit, "Copy", "&Copy", QKeySequence("Ctrl+C"), "Copy to clipboard");
  AddAction(edit, "Paste", "&Paste", QKeySequence("Ctrl+V"), "Paste from clipboard");
  AddAction(edit, "Duplicate", "&Duplicate", QKeySequence("Ctrl+D"),
            "Duplicate the selected contraptions");
  edit->addSeparator();
  AddAction(edit, "Clear", "Cle&ar", {}, {});
  AddAction(edit, "SelectAll", "Select A&ll", {}, {});
  for (const char* name : {"Cut", "Copy", "Paste", "Duplicate", "Clear", "SelectAll"}) {
    // The keys act where the focus is (the patcher pane, an editor window, a
    // text field), each taking them itself: the menu's shortcuts only show them.
    Action(name)->setShortcutContext(Qt::WidgetShortcut);
    Action(name)->setEnabled(false);
  }
  for (const char* name : {"Cut", "Copy", "Paste", "Duplicate"}) {
    const QString command = name;
    connect(Action(name), &QAction::triggered, this, [this, command] { EditCommand(command); });
  }
  connect(edit, &QMenu::aboutToShow, this, [this] { UpdateEditActions(); });
  edit->addSeparator();
  connect(AddAction(edit, "Settings", "&Settings...", QKeySequence(Qt::Key_F4), {}),
          &QAction::triggered, this, [this] { ShowSettings(); });

  QMenu* view = menuBar()->addMenu("&View");
  auto checkable = [&](const QString& name, const QString& text) {
    QAction* a = AddAction(view, name, text, {}, {});
    a->setCheckable(true);
    a->setChecked(true);
    return a;
  };
  connect(checkable("ToolBar", "&Toolbar"), &QAction::triggered, this,
          [this](bool on) { ToolBar()->setVisible(on); });
  connect(checkable("StatusBar", "&Status Bar"), &QAction::triggered, this,
          [this](bool on) { statusBar()->setVisible(on); });
  view->addSeparator();
  connect(checkable("PatcherPane", "&Patcher Pane"), &QAction::triggered, this,
          [this](bool on) { SetPatcherPaneShown(on); });
  connect(checkable("PropertiesPane", "P&roperties Pane"), &QAction::triggered, this,
          [this](bool on) { SetPropertiesPaneShown(on); });
  view->addSeparator();
  QAction* volume = AddAction(view, "VolumeControl", "&Volume Control", {}, {});
  volume->setEnabled(!VolumeControlProgram().isEmpty());
  connect(volume, &QAction::triggered, this, [] {
    const QString program = VolumeControlProgram();
    if (!program.isEmpty()) QProcess::startDetached(program, {});
  });
  connect(view, &QMenu::aboutToShow, this, [this] { PrepareViewMenu(); });

  QMenu* control = menuBar()->addMenu("&Control");
  connect(AddAction(control, "StartClock", "Start &Clock", {}, {}), &QAction::triggered, this,
          [this] { StartClock(); });
  connect(AddAction(control, "StopClock", "Stop C&lock", {}, {}), &QAction::triggered, this,
          [this] { StopClock(); });
  control->addSeparator();
  connect(AddAction(control, "StartAudioOut", "Start Audio &Out", {}, {}), &QAction::triggered,
          this, [this] { StartAudioOut(); });
  connect(AddAction(control, "StopAudioOut", "Stop Audio O&ut", {}, {}), &QAction::triggered, this,
          [this] { StopAudioOut(); });
  control->addSeparator();
  connect(AddAction(control, "StartAudioIn", "Start Audio &In", {}, {}), &QAction::triggered, this,
          [this] { StartAudioIn(); });
  connect(AddAction(control, "StopAudioIn", "Stop Audio I&n", {}, {}), &QAction::triggered, this,
          [this] { StopAudioIn(); });
  control->addSeparator();
  QAction* useFile = AddAction(control, "UseInputFile", "Use Input &File", {}, {});
  useFile->setCheckable(true);
  connect(useFile, &QAction::triggered, this, [this] { ToggleUseInputFile(); });
  control->addSeparator();
  connect(AddAction(control, "Panic", "&Panic", QKeySequence(Qt::Key_Escape),
                    "Stop every sound at once"),
          &QAction::triggered, this, [this] { Panic(); });
  midi_->AddMenuEntries(control);

  QMenu* help = menuBar()->addMenu("&Help");
  help->menuAction()->setStatusTip("Help topics");
  QAction* topics = AddAction(help, "HelpTopics", "&Help Topics", QKeySequence(Qt::Key_F1), {});
  topics->setShortcutContext(Qt::WindowShortcut);
  connect(topics, &QAction::triggered, this, [this] { Help().ShowContents(); });
  connect(AddAction(help, "About", "&About Tonegarden", {}, {}), &QAction::triggered, this, [this] {
    QMessageBox::about(this, "About Tonegarden",
                       "<b>Tonegarden 0.7</b><p>A modular music program for live performance.</p>"
                       "<p>Kestrelworks</p>");
  });

  paneMenu_ = new QMenu(this);
  paneEdit_ = paneMenu_->addAction("Edit");
  paneMenu_->setDefaultAction(paneEdit_);
  paneHelp_ = paneMenu_->addAction("Help");
  paneMenu_->addSeparator();
  paneMenu_->addAction("Delete")->setEnabled(false);
  paneMenu_->addSeparator();
  newMenu_ = paneMenu_->addMenu("New");
  BuildNewMenu(newMenu_);
  connect(paneEdit_, &QAction::triggered, this, [this] {
    if (lastNode_ >= 0 && lastNode_ < model_->NodeCount()) {
      model_->NodeAt(lastNode_).contraption->ShowWindow();
    }
  });
  connect(paneHelp_, &QAction::triggered, this, [this] {
    if (lastNode_ >= 0 && lastNode_ < model_->NodeCount()) {
      model_->NodeAt(lastNode_).contraption->Help();
    }
  });
}

void TMainForm::BuildNewMenu(QMenu* menu) {
  std::map<std::string, QMenu*> submenus;
  for (const char* category : kNewMenuCategories) submenus[category] = menu->addMenu(category);
  TContraptionFactory& factory = engine_.Factory();
  for (int i = 0; i < factory.MakerCount(); ++i) {
    TContraptionMaker* maker = factory.MakerAt(i);
    QMenu* target = menu;
    if (!maker->Category().empty()) {
      auto& sub = submenus[maker->Category()];
      if (sub == nullptr) sub = menu->addMenu(QString::fromStdString(maker->Category()));
      target = sub;
    }
    const std::string type = maker->TypeName();
    QAction* item = target->addAction(QString::fromStdString(type));
    item->setData(QString::fromStdString(type));
    connect(item, &QAction::triggered, this, [this, type] { NewContraption(type, lastPoint_); });
    if (type == "SoundIn") newSoundIn_ = item;
    if (type == "SoundOut") newSoundOut_ = item;
  }
  // A category no type belongs to is no choice.
  for (const auto& [category, sub] : submenus) {
    if (sub != nullptr) sub->menuAction()->setVisible(!sub->actions().isEmpty());
  }
}

QWidget* TMainForm::ToolBar() const { return toolBar_; }

void TMainForm::BuildToolBar() {
  auto* bar = new QToolBar("SpeedPanel", this);
  bar->setObjectName("SpeedPanel");
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setFixedHeight(28);
  bar->setIconSize(QSize(16, 16));
  bar->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  addToolBar(bar);
  toolBar_ = bar;
  auto button = [&](QStyle::StandardPixmap icon, const QString& text, const QString& hint) {
    auto* b = new QToolButton(bar);
    b->setIcon(style()->standardIcon(icon));
    b->setText(text);
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
  };
  connect(button(QStyle::SP_FileIcon, "New", "Create a new file"), &QToolButton::clicked, this,
          [this] { FileNew(); });
  connect(button(QStyle::SP_DialogOpenButton, "Open", "Open an existing file"),
          &QToolButton::clicked, this, [this] { FileOpen(); });
  connect(button(QStyle::SP_DialogSaveButton, "Save", "Save current file"), &QToolButton::clicked,
          this, [this] { FileSave(); });
  bar->addSeparator();
  for (const auto& [text, hint] : {std::pair{"Cut", "Cut to clipboard"},
                                   {"Copy", "Copy to clipboard"},
                                   {"Paste", "Paste from clipboard"},
                                   {"Undo", "Undo"}}) {
    auto* b = new QToolButton(bar);
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setEnabled(false);
    bar->addWidget(b);
    if (std::string_view(text) == "Undo") {
      undo_ = b;
    } else {
      const QString command = text;
      connect(b, &QToolButton::clicked, this, [this, command] { EditCommand(command); });
      editButtons_[command] = b;
    }
  }
  connect(undo_, &QToolButton::clicked, this, [this] { Undo(); });
  auto* spacer = new QWidget(bar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(spacer);

  startClock_ = button(QStyle::SP_MediaPlay, "Start Clock", "Start Clock");
  connect(startClock_, &QToolButton::clicked, this, [this] { StartClock(); });
  stopClock_ = button(QStyle::SP_MediaStop, "Stop Clock", "Stop Clock");
  connect(stopClock_, &QToolButton::clicked, this, [this] { StopClock(); });
  timecode_ = new QLabel("000:0", bar);
  QFont bold = timecode_->font();
  bold.setBold(true);
  timecode_->setFont(bold);
  timecode_->setToolTip("Bar Number : Beat");
  timecode_->setMinimumWidth(52);
  timecode_->setAlignment(Qt::AlignCenter);
  timecode_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bar->addWidget(timecode_);
  tempo_ = new KWNumberEdit(bar);
  tempo_->SetMin(1);
  tempo_->SetMax(240);
  tempo_->SetIncrement(1);
  tempo_->SetAutoIncrement(false);
  tempo_->SetValue(120);
  tempo_->setFixedWidth(64);
  tempo_->setToolTip("Tempo (beats per minute)");
  bar->addWidget(tempo_);
  connect(tempo_, &KWNumberEdit::OnChange, this, [this](double t) {
    commands_->ChangeTempo(t);
    ShowModified();
  });
  bar->addSeparator();
  adcs_ = button(QStyle::SP_MediaVolume, "In", "Start Audio In");
  adcs_->setCheckable(true);
  adcs_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(adcs_, &QToolButton::clicked, this,
          [this](bool down) { down ? StartAudioIn() : StopAudioIn(); });
  dacs_ = button(QStyle::SP_MediaVolume, "Out", "Start Audio Out");
  dacs_->setCheckable(true);
  dacs_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(dacs_, &QToolButton::clicked, this,
          [this](bool down) { down ? StartAudioOut() : StopAudioOut(); });
  auto meter = [&](const QString& label, const QString& hint) {
    bar->addWidget(new QLabel(label, bar));
    auto* m = new KWDWMeter(bar);
    m->SetVertical(false);
    m->SetSegmentCount(13);
    m->SetChannelCount(2);
    m->setFixedSize(80, 18);
    m->setToolTip(hint);
    bar->addWidget(m);
    return m;
  };
  inputMeter_ = meter(" Input:", "Input VU Meters");
  outputMeter_ =
      meter(" Output:",
            "Output VU Meters; red at the end for two seconds after a sample over full scale");
  outputMeter_->SetClipLightShown(true);
}

void TMainForm::BuildPanes() {
  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setHandleWidth(3);
  splitter_->setChildrenCollapsible(false);
  panel2_ = new QWidget(splitter_);
  panel2_->setMinimumWidth(kPaneMinimum);
  auto* layout = new QVBoxLayout(panel2_);
  layout->setContentsMargins(0, 0, 0, 0);
  patcher_ = new KWPatcherPanel(*model_, panel2_);
  layout->addWidget(patcher_);
  properties_ = new TPatternedScrollBox(splitter_);
  properties_->SetTileShiftPercent(50);
  properties_->setMinimumWidth(kPaneMinimum);
  splitter_->addWidget(panel2_);
  splitter_->addWidget(properties_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({180, 600});
  setCentralWidget(splitter_);
  windowHost_ = std::make_unique<ContraptionWindowHost>(properties_);
  RegisterContraptionWindows(*windowHost_);
  windowHost_->SetHelpHandler([this](const std::string& type) { Help().ShowTypeHelp(type); });
  // "Use Input File" from the menu or from SoundIn's window: both show it.
  engine_.SetSoundInChangedHandler([this] {
    if (closing_) return;
    for (TGardeningContraption* c : engine_.Factory().Contraptions()) {
      if (&c->Processor() != &engine_.SoundInProcessor()) continue;
      if (TContraptionForm* window = windowHost_->WindowOf(*c)) window->UpdateControls();
    }
    UpdateControls();
  });

  connect(splitter_, &QSplitter::splitterMoved, this, [this] { LayoutEdited(); });
  connect(patcher_, &KWPatcherPanel::NodesMoved, this, [this](const std::vector<NodeMove>& moves) {
    std::vector<PatchEditor::NodeMove> edits;
    for (const NodeMove& m : moves)
      edits.push_back({m.node, m.from.x(), m.from.y(), m.to.x(), m.to.y()});
    patch_->MoveNodes(edits);
  });
  connect(patcher_, &KWPatcherPanel::NodeDoubleClicked, this, [](PatchNode* node) {
    if (node != nullptr && node->contraption != nullptr) node->contraption->ShowWindow();
  });
  connect(patcher_, &KWPatcherPanel::ContextMenuRequested, this,
          [this](QPoint content, QPoint global) { ShowPaneMenu(content, global); });
  connect(patcher_, &KWPatcherPanel::StatusMessage, this,
          [this](const QString& text) { statusBar()->showMessage(text, 5000); });
  patcherCommands_ = new PatcherCommands(
      *patch_, *patcher_,
      [this](const std::string& type, QPoint at) { return NewContraption(type, at); }, this);
  connect(patcherCommands_, &PatcherCommands::StatusMessage, this,
          [this](const QString& text) { statusBar()->showMessage(text, 5000); });
  connect(patcher_, &KWPatcherPanel::CutRequested, patcherCommands_, &PatcherCommands::Cut);
  connect(patcher_, &KWPatcherPanel::CopyRequested, patcherCommands_, &PatcherCommands::Copy);
  connect(patcher_, &KWPatcherPanel::PasteRequested, this, [this] { patcherCommands_->Paste(); });
  connect(patcher_, &KWPatcherPanel::DuplicateRequested, patcherCommands_,
          &PatcherCommands::Duplicate);
  connect(patcher_, &KWPatcherPanel::QuickAddRequested, patcherCommands_,
          &PatcherCommands::OpenQuickAdd);
  connect(patcher_, &KWPatcherPanel::SelectionChanged, this, [this] { UpdateEditActions(); });
}

THelpBrowser& TMainForm::Help() {
  if (help_ == nullptr) {
    help_ = new THelpBrowser(engine_.Factory(), this);
    // The examples the pages link to open as any document does, asking to
    // save the one open first.
    connect(help_, &THelpBrowser::ExampleChosen, this, [this](const QString& file) {
      raise();
      activateWindow();
      Reopen(file.toStdString());
    });
  }
  return *help_;
}

// ---- pane events ------------------------------------------------------------

void TMainForm::ShowPaneMenu(QPoint content, QPoint global) {
  lastPoint_ = content;
  lastNode_ = patcher_->NodeIndexAt(content);
  paneEdit_->setEnabled(lastNode_ >= 0);
  paneHelp_->setEnabled(lastNode_ >= 0);
  if (newSoundIn_ != nullptr) newSoundIn_->setEnabled(!engine_.CanStartAudioIn());
  if (newSoundOut_ != nullptr) newSoundOut_->setEnabled(!engine_.HasSoundOut());
  if (!global.isNull()) paneMenu_->popup(global);
}

PatchNode* TMainForm::NewContraption(const std::string& typeName, QPoint at) {
  lastPoint_ = at;
  // From the menu bar the last right-click may have scrolled out of sight.
  const bool shown = patcher_->isVisible() && !patcher_->viewport()->size().isEmpty();
  const QPoint place = shown ? patcher_->VisiblePlace(at) : at;
  // The pane and controls follow on the edit.
  const QString examples = ExamplesDirectory();
  const StarterSettings starter(examples.isEmpty() ? std::string()
                                                   : (examples + "/samples").toStdString());
  PatchNode* node = patch_->NewContraption(typeName, place.x(), place.y(), &starter);
  if (node != nullptr && shown) patcher_->EnsureVisible(*node);
  return node;
}

namespace {

// The editor window that holds a widget, if any.
TContraptionForm* FormOf(QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (auto* form = qobject_cast<TContraptionForm*>(widget)) return form;
  }
  return nullptr;
}

std::optional<TContraptionForm::PresetCommand> PresetCommandOf(const QString& command) {
  if (command == "Cut") return TContraptionForm::PresetCommand::Cut;
  if (command == "Copy") return TContraptionForm::PresetCommand::Copy;
  if (command == "Paste") return TContraptionForm::PresetCommand::Paste;
  return std::nullopt;
}

}  // namespace

void TMainForm::EditCommand(const QString& command) {
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && (focus == patcher_ || patcher_->isAncestorOf(focus))) {
    if (command == "Cut") patcherCommands_->Cut();
    if (command == "Copy") patcherCommands_->Copy();
    if (command == "Paste") patcherCommands_->Paste();
    if (command == "Duplicate") patcherCommands_->Duplicate();
  } else if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    if (command == "Cut") line->cut();
    if (command == "Copy") line->copy();
    if (command == "Paste") line->paste();
  } else if (TContraptionForm* form = FormOf(focus)) {
    if (const auto preset = PresetCommandOf(command)) form->RunPresetCommand(*preset);
  }
  UpdateEditActions();
}

void TMainForm::UpdateEditActions() {
  if (closing_ || patcherCommands_ == nullptr) return;
  QWidget* focus = QApplication::focusWidget();
  std::map<QString, bool> can;
  if (focus != nullptr && (focus == patcher_ || patcher_->isAncestorOf(focus))) {
    const bool selected = patcherCommands_->CanCopy();
    can = {{"Cut", selected},
           {"Copy", selected},
           {"Duplicate", selected},
           {"Paste", patcherCommands_->CanPaste()}};
  } else if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    const bool some = line->hasSelectedText();
    can = {{"Cut", some && !line->isReadOnly()}, {"Copy", some}, {"Paste", !line->isReadOnly()}};
  } else if (TContraptionForm* form = FormOf(focus)) {
    for (const char* name : {"Cut", "Copy", "Paste"})
      can[name] = form->CanRunPresetCommand(*PresetCommandOf(name));
  }
  for (const char* name : {"Cut", "Copy", "Paste", "Duplicate"}) {
    const bool enabled = can[name];
    Action(name)->setEnabled(enabled);
    if (auto button = editButtons_.find(name); button != editButtons_.end())
      button->second->setEnabled(enabled);
  }
}

// ---- commands ---------------------------------------------------------------

template <typename Command>
void TMainForm::Guarded(Command&& command) {
  try {
    command();
  } catch (const EWaveDeviceError& error) {
    messages_->ShowMessage(error.what(), "Tonegarden", MessageIcon::Error);
  }
}

void TMainForm::AfterDocumentChange(bool replaced) {
  // Another patch is seen from its top-left corner, its windows' headers in view.
  if (replaced) {
    properties_->horizontalScrollBar()->setValue(0);
    properties_->verticalScrollBar()->setValue(0);
  }
  {
    const QSignalBlocker block(tempo_);
    tempo_->SetValue(engine_.Tempo());
  }
  ApplyLayoutFromModel();
  patcher_->ModelChanged();
  timecode_->setText(
      QString::fromStdString(FormatTimecode(ClockTickOf(engine_.GetContext().Clock().Position()))));
  UpdateCaption();
  UpdateControls();
  // What opening did (its windows opening) is no edit of the user's.
  if (replaced) patch_->ClearHistory();
  ShowUndoState();
}

void TMainForm::FileNew() {
  bool replaced = false;
  Guarded([&] { replaced = commands_->FileNew(); });
  AfterDocumentChange(replaced);
}

void TMainForm::FileOpen() {
  bool replaced = false;
  Guarded([&] { replaced = commands_->FileOpen(); });
  AfterDocumentChange(replaced);
}

void TMainForm::Reopen(const std::string& fileName) {
  bool replaced = false;
  Guarded([&] { replaced = commands_->Reopen(fileName); });
  AfterDocumentChange(replaced);
}

void TMainForm::FileRevert() {
  bool replaced = false;
  Guarded([&] { replaced = commands_->FileRevert(); });
  AfterDocumentChange(replaced);
}

void TMainForm::FileSave() {
  StoreLayoutInModel();
  commands_->FileSave();
  UpdateCaption();
  UpdateControls();
}

void TMainForm::FileSaveAs() {
  StoreLayoutInModel();
  commands_->FileSaveAs();
  UpdateCaption();
  UpdateControls();
}

void TMainForm::SaveLastMinutes() {
  if (engine_.LastMinutes().FramesKept() == 0) {
    statusBar()->showMessage("Nothing has been played yet", 5000);
    return;
  }
  const SaveFileDialog dialog("Save the Last Minutes", "Wave file (*.wav)", "wav");
  const std::string proposed =
      SoundFilePaths::Instance().LastOutputDirectory() + LastMinutesFileName(std::time(nullptr));
  const QString name = dialog.Ask(this, QString::fromStdString(proposed));
  if (!name.isEmpty()) SaveLastMinutesTo(name);
}

bool TMainForm::SaveLastMinutesTo(const QString& fileName) {
  if (engine_.SoundOutProcessor().HoldsFile(fileName.toStdString())) {
    messages_->ShowMessage(QString("SoundOut records to and plays %1.\nSave the last minutes to "
                                   "another file.")
                               .arg(fileName)
                               .toStdString(),
                           "Tonegarden", MessageIcon::Error);
    return false;
  }
  const std::vector<FileInUse> inUse = document_->FilesInUse();
  if (const FileInUse* used = FindFileInUse(inUse, fileName.toStdString())) {
    messages_->ShowMessage(used->usedBy + " \"" + fileName.toStdString() +
                               "\".\nSave the last minutes to another file.",
                           "Tonegarden", MessageIcon::Error);
    return false;
  }
  if (lastMinutesSaver_ == nullptr) {
    lastMinutesSaver_ = std::make_unique<LastMinutesSaver>(engine_.LastMinutes());
    connect(lastMinutesSaver_.get(), &LastMinutesSaver::Finished, this,
            [this](const QString& file, const QString& problem, qint64 frames) {
              if (problem.isEmpty()) {
                SoundFilePaths::Instance().SetLastOutputDirectory(file.toStdString());
                statusBar()->showMessage(LastMinutesSaver::SavedText(file, frames), 10000);
              } else {
                messages_->ShowMessage(
                    QString("Cannot save %1:\n%2").arg(file, problem).toStdString(), "Tonegarden",
                    MessageIcon::Error);
              }
            });
  }
  if (!lastMinutesSaver_->Start(fileName)) return false;
  statusBar()->showMessage("Saving the last minutes...");
  return true;
}

void TMainForm::ExportAsWave() {
  if (!engine_.HasSoundOut()) return;
  Guarded([&] {
    commands_->WithAudioStopped([&] {
      TExportAsWaveForm dialog(engine_, *messages_, this);
      dialog.SetDocumentTitle(QString::fromStdString(document_->Title()));
      dialog.SetFilesInUse(document_->FilesInUse());
      dialog.Prepare();
      dialog.exec();
      if (!dialog.ExportedText().isEmpty()) statusBar()->showMessage(dialog.ExportedText(), 10000);
    });
  });
  UpdateControls();
}

void TMainForm::ShowSettings() {
  TSettingsForm dialog(engine_, options_.outStream, options_.inStream, *messages_, settings_, this);
  auto* midiPage = new TMidiSettingsPage(midi_->Ports(), &dialog);
  dialog.Pages()->addTab(midiPage, "MIDI");
  // Apply and OK take the MIDI page with the rest; JACK transport is offered
  // anew once the output may have changed.
  connect(midiPage, &TMidiSettingsPage::Changed, &dialog, &TSettingsForm::PageChanged);
  connect(&dialog, &TSettingsForm::Applied, midiPage, [this, midiPage] {
    midiPage->Apply();
    midi_->StorePorts();
    midiPage->ShowJackTransportOffer();
  });
  dialog.exec();
  UpdateControls();
}

void TMainForm::PrepareFileMenu() {
  document_->UpdateModified();
  Action("Save")->setEnabled(document_->IsModified());
  Action("Revert")->setEnabled(document_->IsModified() && document_->HasFileName());
  Action("Export")->setEnabled(engine_.HasSoundOut());
  Action("SaveLastMinutes")
      ->setEnabled(engine_.LastMinutes().FramesKept() > 0 &&
                   !(lastMinutesSaver_ != nullptr && lastMinutesSaver_->Busy()));
  reopenMenu_->clear();
  const auto& files = closedFiles_->Files();
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string file = files[i];
    QAction* item =
        reopenMenu_->addAction(QString("&%1 %2").arg(i).arg(QString::fromStdString(file)));
    connect(item, &QAction::triggered, this, [this, file] { Reopen(file); });
  }
  reopenMenu_->setEnabled(!files.empty());
}

void TMainForm::PrepareViewMenu() {
  Action("ToolBar")->setChecked(!ToolBar()->isHidden());
  Action("StatusBar")->setChecked(!statusBar()->isHidden());
  Action("PatcherPane")->setChecked(!panel2_->isHidden());
  Action("PropertiesPane")->setChecked(!properties_->isHidden());
}

void TMainForm::StartClock() {
  Guarded([&] { commands_->StartOrPauseClock(); });
  UpdateControls();
}

void TMainForm::StopClock() {
  commands_->StopClock();
  timecode_->setText("000:0");
  UpdateControls();
}

void TMainForm::StartAudioOut() {
  Guarded([&] { engine_.StartAudioOut(); });
  UpdateControls();
}

void TMainForm::StopAudioOut() {
  engine_.StopAudioOut();
  UpdateControls();
  if (!engine_.IsAudioInRunning()) inputMeter_->Clear();
  outputMeter_->Clear();
  cpu_->clear();
}

void TMainForm::StartAudioIn() {
  if (engine_.CanStartAudioIn()) Guarded([&] { engine_.StartAudioIn(); });
  UpdateControls();
}

void TMainForm::StopAudioIn() {
  if (engine_.IsAudioInRunning()) engine_.StopAudioIn();
  UpdateControls();
  inputMeter_->Clear();
}

void TMainForm::ToggleUseInputFile() {
  // The same edit as SoundIn's own check box: marked and undoable.
  engine_.EditUseInputFile(Action("UseInputFile")->isChecked());
  UpdateControls();
}

void TMainForm::Panic() {
  engine_.Panic();
  statusBar()->showMessage("Every sound stopped", 2000);
}

// ---- state ------------------------------------------------------------------

void TMainForm::SetClockGlyph(bool running) {
  startClock_->setIcon(
      style()->standardIcon(running ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
  startClock_->setToolTip(running ? "Pause Clock" : "Start Clock");
}

void TMainForm::ShowAudioDirection(const QString& direction, QToolButton* button, bool available,
                                   bool running) {
  Action("StartAudio" + direction)->setEnabled(available && !running);
  Action("StopAudio" + direction)->setEnabled(available && running);
  button->setEnabled(available);
  button->setChecked(available && running);
  button->setToolTip((running ? "Stop Audio " : "Start Audio ") + direction);
}

void TMainForm::UpdateControls() {
  if (!engine_.FollowingMidiClock()) ShowOwnTempo();  // audio out stopped, say
  if (closing_) return;
  const bool outRunning = engine_.IsAudioOutRunning();
  const bool inRunning = engine_.IsAudioInRunning();
  const QSignalBlocker a(dacs_), b(adcs_);
  ShowAudioDirection("Out", dacs_, engine_.HasSoundOut(), outRunning);
  if (outRunning) {
    uiTimer_->start();
  } else {
    uiTimer_->stop();
    outputMeter_->Clear();
    cpu_->clear();  // a figure from a stream that no longer runs says nothing
  }
  ShowStatusFigures();
  ShowOverloads(std::chrono::steady_clock::now());
  ShowTakeLoss();
  Action("UseInputFile")->setEnabled(engine_.HasSoundIn());
  Action("UseInputFile")->setChecked(engine_.HasSoundIn() && engine_.IsUsingInputFile());
  ShowAudioDirection("In", adcs_, engine_.CanStartAudioIn(), inRunning);
  if (!inRunning) inputMeter_->Clear();
  if (outRunning || inRunning) {
    meterTimer_->start();
  } else {
    meterTimer_->stop();
  }

  ShowClockState();
  ShowLinkState();
  if (engine_.LinkLeads()) {
    linkTimer_->start();
  } else {
    linkTimer_->stop();
  }
  ShowUndoState();
}

void TMainForm::ShowClockState() {
  const bool started = engine_.ClockStarted();
  clockShownStarted_ = started;
  SetClockGlyph(started);
  stopClock_->setEnabled(started);
  Action("StopClock")->setEnabled(started);
  Action("StartClock")->setEnabled(!started);
}

void TMainForm::ShowLinkState() {
  const bool leads = engine_.LinkLeads();
  link_->setVisible(leads);
  if (leads) link_->setText(QString::fromStdString(LinkSession::PeersText(engine_.LinkPeers())));
  if (engine_.ClockStarted() != clockShownStarted_) ShowClockState();
}

void TMainForm::UpdateCaption() {
  setWindowTitle(QString::fromStdString(document_->Title()) + "[*] - Tonegarden");
  setWindowFilePath(QString::fromStdString(document_->FileName()));
  ShowModified();
}

void TMainForm::Undo() {
  patch_->Undo();
  AfterUndoOrRedo();
}

void TMainForm::Redo() {
  patch_->Redo();
  AfterUndoOrRedo();
}

void TMainForm::AfterUndoOrRedo() {
  {
    const QSignalBlocker block(tempo_);
    tempo_->SetValue(engine_.Tempo());
  }
  ApplyLayoutFromModel();
  patcher_->ModelChanged();
  UpdateControls();
}

void TMainForm::ShowUndoState() {
  const bool canUndo = patch_->CanUndo(), canRedo = patch_->CanRedo();
  const QString undoText = canUndo ? "Undo " + QString::fromStdString(patch_->UndoName()) : "Undo";
  Action("Undo")->setEnabled(canUndo);
  Action("Undo")->setText("&" + undoText);
  Action("Redo")->setEnabled(canRedo);
  Action("Redo")->setText(canRedo ? "&Redo " + QString::fromStdString(patch_->RedoName())
                                  : "&Redo");
  undo_->setEnabled(canUndo);
  undo_->setToolTip(undoText);
}

void TMainForm::ShowModified() {
  if (closing_) return;
  document_->UpdateModified();
  setWindowModified(document_->IsModified());
}

void TMainForm::UpdateStatus() {
  ShowTakeLoss();
  const bool clipped = engine_.SoundOutProcessor().Counts().clipped > 0;
  clips_->setText(clipped ? QString::fromStdString(engine_.SoundOutProcessor().ClipSummary())
                          : QString());
  ShowAsWarning(clips_, true);
  if (!engine_.IsAudioOutRunning()) {
    cpu_->clear();
    return;
  }
  const bool overload = engine_.TakeOverloadFlag();
  cpu_->setText(QString::fromStdString(
      "CPU Load: " + numbertext::Fixed(engine_.OutStream().CpuLoad() * 100.0, 2)));
  ShowAsWarning(cpu_, overload);
  ShowOverloads(std::chrono::steady_clock::now());
}

void TMainForm::ShowOverloads(std::chrono::steady_clock::time_point now) {
  const uint32_t count = engine_.OverloadCount();
  if (count > shownOverloads_) overloadRedUntil_ = now + kOverloadHighlight;
  shownOverloads_ = count;
  overloads_->setText(QString("Overloads: %1").arg(count));
  ShowAsWarning(overloads_, now < overloadRedUntil_);
}

void TMainForm::ShowStatusFigures() {
  if (closing_) return;
  // Hidden by hand, not left to the status bar: it shows its widgets again
  // whenever it lays them out anew, message or not.
  const bool message = !statusBar()->currentMessage().isEmpty();
  cpu_->setVisible(!message);
  overloads_->setVisible(!message && engine_.IsAudioOutRunning());
}

void TMainForm::ShowTakeLoss() {
  // A take that lost frames to a slow disk says so until the next take begins.
  takeLoss_->setText(QString::fromStdString(engine_.SoundOutProcessor().TakeMessage()));
  ShowAsWarning(takeLoss_, true);
}

void TMainForm::UpdateMeters() {
  const TAudioEngineModule::Meters m = engine_.GetMeters();
  inputMeter_->SetValues(0, m.inputLeft);
  inputMeter_->SetValues(1, m.inputRight);
  if (engine_.IsAudioOutRunning()) {
    outputMeter_->SetValues(0, m.outputLeft);
    outputMeter_->SetValues(1, m.outputRight);
    ShowTimecode(m.clockTick);
  }
  // A clock that the JACK transport or a MIDI clock starts and stops is
  // shown within a meter tick.
  if (engine_.ClockStarted() != clockShownStarted_) ShowClockState();
  ShowClipLight(std::chrono::steady_clock::now());
}

void TMainForm::ShowOwnTempo() {
  if (!showsFollowedTempo_) return;
  showsFollowedTempo_ = false;
  const QSignalBlocker block(tempo_);
  tempo_->SetValue(engine_.Tempo());
}

void TMainForm::ShowTimecode(uint32_t clockTick) {
  // Following a MIDI clock, a Link session or the JACK transport, the clock box says so (and
  // where it stands, when the clock runs) and the tempo box shows the tempo
  // followed, which is no edit of the document's.
  if (!engine_.FollowingMidiClock()) {
    timecode_->setText(QString::fromStdString(FormatTimecode(clockTick)));
    ShowOwnTempo();
    return;
  }
  showsFollowedTempo_ = true;
  const ClockSource source = engine_.GetClockSource();
  const QString lead = source == ClockSource::Link            ? QString("Link")
                       : source == ClockSource::JackTransport ? QString("JACK")
                                                              : QString("MIDI");
  timecode_->setText(engine_.GetContext().Clock().IsRunning()
                         ? lead + " " + QString::fromStdString(FormatTimecode(clockTick))
                         : lead);
  if (!tempo_->hasFocus()) {
    const QSignalBlocker block(tempo_);
    tempo_->SetValue(std::round(engine_.Tempo()));
  }
}

void TMainForm::ShowClipLight(std::chrono::steady_clock::time_point now) {
  const uint64_t clipped = engine_.SoundOutProcessor().ClippedBlocks();
  if (clipped != clippedBlocksSeen_) {
    clippedBlocksSeen_ = clipped;
    clipLightUntil_ = now + kClipLightHold;
  }
  outputMeter_->SetClipped(now < clipLightUntil_);
}

// ---- panes and layout -------------------------------------------------------

void TMainForm::SetPatcherPaneShown(bool shown) {
  ShowPane(panel2_, properties_, Action("PatcherPane"), shown);
}

void TMainForm::SetPropertiesPaneShown(bool shown) {
  ShowPane(properties_, panel2_, Action("PropertiesPane"), shown);
}

void TMainForm::ShowPane(QWidget* pane, const QWidget* other, QAction* check, bool shown) {
  check->setChecked(shown);
  // Coming back beside the other pane, the patcher pane must not take it all.
  const int all = splitter_->width();
  if (shown && !other->isHidden() && panel2_->width() >= all - kPaneMinimum) {
    splitter_->setSizes({all / 2, all - all / 2});
  }
  pane->setVisible(shown);
  LayoutEdited();
}

void TMainForm::ApplyLayoutFromModel() {
  panel2_->setVisible(model_->PatcherShown());
  properties_->setVisible(model_->PropertiesShown());
  const int total = std::max(splitter_->width(), model_->PaneWidth() + 200);
  splitter_->setSizes({model_->PaneWidth(), total - model_->PaneWidth()});
}

void TMainForm::LayoutEdited() {
  if (closing_) return;
  PatchEditor::PaneLayout layout = patch_->Layout();
  layout.patcherShown = !panel2_->isHidden();
  layout.propertiesShown = !properties_->isHidden();
  if (layout.patcherShown) layout.paneWidth = splitter_->sizes().value(0, layout.paneWidth);
  patch_->SetLayout(layout);
  ShowUndoState();
}

void TMainForm::StoreLayoutInModel() {
  if (closing_) return;
  model_->SetPatcherShown(!panel2_->isHidden());
  model_->SetPropertiesShown(!properties_->isHidden());
  if (!panel2_->isHidden()) model_->SetPaneWidth(splitter_->sizes().value(0, model_->PaneWidth()));
}

namespace {

// Wayland neither tells a window where it is nor lets it choose.
bool PlatformPlacesWindows() { return !QGuiApplication::platformName().startsWith("wayland"); }

// Device pixels of a screen: lengths times its scale, counted from its corner
// (which both kinds of pixel share).
QPoint ToDevice(const QScreen& screen, QPoint logical) {
  const QPoint origin = screen.geometry().topLeft();
  return origin + (logical - origin) * screen.devicePixelRatio();
}
QPoint ToLogical(const QScreen& screen, QPoint device) {
  const QPoint origin = screen.geometry().topLeft();
  return origin + (device - origin) / screen.devicePixelRatio();
}
WindowPlacement::Rect DeviceArea(const QScreen& screen) {
  const QRect area = screen.availableGeometry();
  const QPoint corner = ToDevice(screen, area.topLeft());
  const QSize size = area.size() * screen.devicePixelRatio();
  return {corner.x(), corner.y(), size.width(), size.height()};
}

}  // namespace

WindowPlacement::Frame TMainForm::FrameMargins() const {
  const QRect inside = geometry(), outside = frameGeometry();
  const double scale = devicePixelRatioF();
  auto device = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
  return {device(inside.left() - outside.left()), device(inside.top() - outside.top()),
          device(outside.right() - inside.right()), device(outside.bottom() - inside.bottom())};
}

void TMainForm::RestorePlacement() {
  // The main screen first: a place on no screen goes there.
  std::vector<QScreen*> screens = {QGuiApplication::primaryScreen()};
  for (QScreen* other : QGuiApplication::screens()) {
    if (other != screens.front()) screens.push_back(other);
  }
  if (screens.front() == nullptr) return;
  std::vector<WindowPlacement::Rect> areas;
  for (QScreen* each : screens) areas.push_back(DeviceArea(*each));
  const WindowPlacement::Frame frame = FrameMargins();
  const auto stored = WindowPlacement::Load(settings_);
  // The first start opens maximised, with a normal place on the screen to
  // come back to.
  const WindowPlacement p = stored ? *stored : WindowPlacement::FirstStart(areas.front(), frame);
  WindowPlacement::Rect outside = p.FrameOn(areas, frame);
  if (!p.hasPosition) {
    const WindowPlacement::Rect& area = areas.front();
    outside.left = area.left + (area.width - outside.width) / 2;
    outside.top = area.top + (area.height - outside.height) / 2;
  }
  size_t on = 0;
  while (on + 1 < areas.size() && !areas[on].Contains(outside.left, outside.top)) ++on;
  const QScreen& screen = *screens[on];
  const QSize inside(outside.width - frame.left - frame.right,
                     outside.height - frame.top - frame.bottom);
  resize(inside / screen.devicePixelRatio());
  if (PlatformPlacesWindows()) move(ToLogical(screen, QPoint(outside.left, outside.top)));
  if (p.maximized) showMaximized();
  if (p.toolBar) ToolBar()->setVisible(*p.toolBar);
  if (p.statusBar) statusBar()->setVisible(*p.statusBar);
}

void TMainForm::StorePlacement() {
  WindowPlacement p;
  p.maximized = isMaximized();
  // Maximised, the place to keep is the one un-maximising goes back to.
  const QRect inside = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
  const WindowPlacement::Frame frame = FrameMargins();
  const QScreen* on = screen();
  const QPoint corner = on != nullptr ? ToDevice(*on, inside.topLeft()) : inside.topLeft();
  const QSize size = inside.size() * (on != nullptr ? on->devicePixelRatio() : 1.0);
  p.left = corner.x() - frame.left;
  p.top = corner.y() - frame.top;
  p.width = size.width();
  p.height = size.height();
  p.hasPosition = PlatformPlacesWindows();
  p.toolBar = !ToolBar()->isHidden();
  p.statusBar = !statusBar()->isHidden();
  p.Store(settings_);
}

// ---- start and close --------------------------------------------------------

void TMainForm::Start() {
  // Unsaved changes a crash left come before the command line's document.
  bool recovered = false;
  if (recovery_ != nullptr) {
    KWDocumentQueries& queries = options_.queries != nullptr ? *options_.queries : *ownQueries_;
    Guarded([&] { recovered = OfferRecovery(*recovery_, *document_, queries); });
    if (recovered) AfterDocumentChange(true);
  }
  if (commandLine_.fileName.empty()) return;
  Guarded([&] {
    if (!recovered) AfterDocumentChange(controller_->OpenFile(commandLine_.fileName));
    if (commandLine_.startAudioOut && engine_.HasSoundOut()) engine_.StartAudioOut();
    if (commandLine_.StartsAudioIn() && engine_.CanStartAudioIn()) engine_.StartAudioIn();
    if (commandLine_.StartsClock()) commands_->StartOrPauseClock();
  });
  UpdateControls();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!placementRestored_) {
    placementRestored_ = true;
    RestorePlacement();
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  StoreLayoutInModel();
  bool close = false;
  Guarded([&] { close = commands_->Close(); });
  if (!close) {
    event->ignore();
    return;
  }
  SoundFilePaths::Instance().Store(settings_);
  // Closed cleanly: no copy is left to offer at the next start.
  if (autosaver_ != nullptr) autosaver_->Close();
  event->accept();
}

}  // namespace tg
