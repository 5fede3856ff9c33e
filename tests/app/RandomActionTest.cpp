// The real main window driven offscreen through random sequences of what a
// user does: new contraptions of every type, deletions, undo and redo,
// windows opened, moved and closed, wires, knobs, presets, saving, reopening
// and New. After every action no window may outlive its contraption and
// every window flag must match the screen; every save must read back to the
// same text, and undoing everything must give the text as last opened.
//
// TONEGARDEN_RANDOM_SEED, TONEGARDEN_RANDOM_ACTIONS and
// TONEGARDEN_RANDOM_SECONDS choose the sequence, how many actions at most and
// for how long at most (3000 actions, 60 s); a failure or a crash prints the
// seed and the actions, which replay it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QTest>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string_view>

#include "app/patcher/KWPatcherPanel.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWValueControl.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "forms/TPatternedScrollBox.h"
#include "forms/TPresetMenuForm.h"
#include "framework/TContraptionFactory.h"
#include "framework/TContraptionMaker.h"
#include "framework/TGardeningContraption.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/app/MainWindowFixture.h"

namespace tg {
namespace random_action_test {

long FromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  const std::string_view digits(text);
  long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return error == std::errc() && end == digits.data() + digits.size() && value >= 0 ? value
                                                                                    : fallback;
}

// Documents are saved (and synced) many times: in memory where there is one.
std::filesystem::path ScratchDirectory() {
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? "/dev/shm"
                                         : std::filesystem::temp_directory_path();
  return base / ("tonegarden-random-" + std::to_string(getpid()));
}

// A crash ends the run before any failure is reported: the actions so far
// go to standard error from the log, then the crash goes on as it would have.
class CrashReport {
 public:
  explicit CrashReport(const std::filesystem::path& log) {
    const std::string path = log.string();
    if (path.size() >= sizeof logPath_) return;
    std::copy(path.begin(), path.end(), logPath_);
    logPath_[path.size()] = '\0';
    struct sigaction action {};
    action.sa_sigaction = &CrashReport::Dump;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals) sigaction(number, &action, &previous_[number]);
    installed_ = true;
  }
  ~CrashReport() {
    if (!installed_) return;
    for (int number : kSignals) sigaction(number, &previous_[number], nullptr);
  }
  CrashReport(const CrashReport&) = delete;
  CrashReport& operator=(const CrashReport&) = delete;

 private:
  // Only what a signal handler may call.
  static void Dump(int number, siginfo_t* info, void*) {
    sigaction(number, &previous_[number], nullptr);
    const int fd = open(logPath_, O_RDONLY);
    if (fd >= 0) {
      static const char kHead[] = "\nThe program crashed; the actions so far were:\n";
      bool written = write(STDERR_FILENO, kHead, sizeof kHead - 1) > 0;
      char buffer[4096];
      for (ssize_t n = 0; written && (n = read(fd, buffer, sizeof buffer)) > 0;)
        written = write(STDERR_FILENO, buffer, static_cast<size_t>(n)) == n;
      close(fd);
    }
    // A fault happens again on return, now to the previous handler (the
    // sanitizer's report); an abort or a signal sent is raised anew.
    if (number == SIGABRT || info->si_code <= 0) raise(number);
  }

  static constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
  static inline char logPath_[4096] = {};
  static inline struct sigaction previous_[NSIG] = {};
  bool installed_ = false;
};

class RandomActionTest : public test::MainWindowFixture {
 protected:
  RandomActionTest()
      : seed_(static_cast<uint32_t>(FromEnvironment("TONEGARDEN_RANDOM_SEED", 20261209))),
        random_(seed_),
        dir_(ScratchDirectory()) {
    std::filesystem::create_directories(dir_);
    log_.open(dir_ / "actions.log");
    queries.saveChanges = false;  // New and reopening drop unsaved changes
    // Edits merge by time: a clock of its own keeps a run replayable.
    std::mt19937 ticks(seed_);
    Form().Patch().History().SetClock([this, ticks]() mutable {
      now_ += std::chrono::milliseconds(ticks() % 2 == 0 ? 1000 : 2000);
      return now_;
    });
    Form().show();
    QApplication::processEvents();
    opened_ = Text();
  }
  ~RandomActionTest() override {
    form.reset();
    std::error_code ignored;
    if (!HasFailure()) std::filesystem::remove_all(dir_, ignored);
  }

  int Pick(int n) { return n <= 0 ? 0 : static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  std::string Text() {
    std::ostringstream out;
    Form().Document().WriteTo(out);
    return out.str();
  }
  static std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  PatchModel& Model() { return Form().Model(); }
  TContraptionForm* WindowOf(PatchNode& node) {
    return Form().WindowHost().WindowOf(*node.contraption);
  }
  // A random node, or null in an empty patch.
  PatchNode* AnyNode() {
    const int n = Model().NodeCount();
    return n == 0 ? nullptr : &Model().NodeAt(Pick(n));
  }
  PatchNode* AnyNodeWithWindow(bool open) {
    std::vector<PatchNode*> found;
    for (int i = 0; i < Model().NodeCount(); ++i) {
      PatchNode& node = Model().NodeAt(i);
      if (Form().WindowHost().HasWindow(node.contraption->TypeName()) &&
          (WindowOf(node) != nullptr) == open)
        found.push_back(&node);
    }
    return found.empty() ? nullptr
                         : found[static_cast<size_t>(Pick(static_cast<int>(found.size())))];
  }
  void Note(const std::string& action) {
    actions_.push_back(std::to_string(actions_.size()) + ": " + action);
    log_ << actions_.back() << std::endl;
  }

  // ---- the user's actions -------------------------------------------------

  void NewContraption() {
    TContraptionFactory& factory = engine->Factory();
    const std::string type = factory.MakerAt(Pick(factory.MakerCount()))->TypeName();
    const QPoint at(Pick(600), Pick(400));
    Note("New " + type + " at " + std::to_string(at.x()) + "," + std::to_string(at.y()));
    Form().NewContraption(type, at);
  }
  void DeleteSelection() {
    std::string what;
    Model().ClearSelection();
    for (int i = 0; i < Model().NodeCount(); ++i) {
      PatchNode& node = Model().NodeAt(i);
      node.selected = Pick(4) == 0;
      if (node.selected) what += " " + node.contraption->Name();
    }
    for (int i = 0; i < Model().ConnectionCount(); ++i) {
      PatchConnection& c = Model().ConnectionAt(i);
      c.selected = Pick(3) == 0;
      if (c.selected) what += " wire " + std::to_string(i);
    }
    Note("Delete" + what);
    QTest::keyClick(Form().PatcherPanel(), Qt::Key_Delete);
  }
  void Wire() {
    PatchNode* from = AnyNode();
    PatchNode* to = AnyNode();
    if (from == nullptr || from->outletCount == 0 || to->inletCount == 0) return;
    const int outlet = Pick(from->outletCount), inlet = Pick(to->inletCount);
    Note("Wire " + from->contraption->Name() + ":" + std::to_string(outlet) + " to " +
         to->contraption->Name() + ":" + std::to_string(inlet));
    Form().Patch().Connect(*from, outlet, *to, inlet);
  }
  void MoveNodes() {
    PatchNode* node = AnyNode();
    if (node == nullptr) return;
    Model().ClearSelection();
    node->selected = true;
    static const Qt::Key kArrows[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down};
    const int arrow = Pick(4);
    Note("Move " + node->contraption->Name() + " by arrow " + std::to_string(arrow));
    QTest::keyClick(Form().PatcherPanel(), kArrows[arrow]);
  }
  void OpenWindow() {
    PatchNode* node = AnyNodeWithWindow(false);
    if (node == nullptr) return;
    Note("Open window of " + node->contraption->Name());
    node->contraption->ShowWindow();
  }
  void CloseWindow() {
    PatchNode* node = AnyNodeWithWindow(true);
    if (node == nullptr) return;
    Note("Close window of " + node->contraption->Name());
    WindowOf(*node)->close();
  }
  void MoveWindow() {
    PatchNode* node = AnyNodeWithWindow(true);
    if (node == nullptr) return;
    const QPoint by(Pick(81) - 40, Pick(81) - 40);
    Note("Drag window of " + node->contraption->Name() + " by " + std::to_string(by.x()) + "," +
         std::to_string(by.y()));
    TContraptionForm* window = WindowOf(*node);
    window->BeginHeaderDrag({5, 5});
    window->ContinueHeaderDrag(QPoint(5, 5) + by);
  }
  // Arrow keys on a knob or slider of an open window, or on the tempo.
  void TurnKnob() {
    PatchNode* node = AnyNodeWithWindow(true);
    QWidget* control = Form().TempoEdit()->findChild<QWidget*>();
    std::string name = "tempo";
    if (node != nullptr) {
      const auto knobs = WindowOf(*node)->findChildren<KWValueControl*>();
      if (!knobs.isEmpty()) {
        const int k = Pick(static_cast<int>(knobs.size()));
        control = knobs[k];
        name = node->contraption->Name() + " control " + std::to_string(k);
      }
    }
    if (control == nullptr) return;
    const bool up = Pick(2) == 0;
    const int times = 1 + Pick(5);
    Note("Turn " + name + (up ? " up " : " down ") + std::to_string(times));
    for (int i = 0; i < times; ++i) QTest::keyClick(control, up ? Qt::Key_Up : Qt::Key_Down);
  }
  void Preset() {
    PatchNode* node = AnyNode();
    if (node == nullptr) return;
    const bool store = Pick(2) == 0;
    const int slot = Pick(4);
    Note((store ? "Store preset " : "Recall preset ") + std::to_string(slot + 1) + " of " +
         node->contraption->Name());
    TPresetMenuForm::Apply({store ? TPresetMenuForm::kStore : TPresetMenuForm::kRecall, slot},
                           *node->contraption);
    if (TContraptionForm* window = WindowOf(*node)) window->UpdateControls();
  }
  void Undo() {
    Note("Undo");
    Form().Action("Undo")->trigger();
  }
  void Redo() {
    Note("Redo");
    Form().Action("Redo")->trigger();
  }
  // Saves under a new name, opens that file again and saves it once more:
  // the two files must be the same text.
  void SaveAndReopen() {
    const std::filesystem::path first = dir_ / ("song" + std::to_string(saves_++) + ".tgh");
    const std::filesystem::path again = dir_ / ("song" + std::to_string(saves_++) + ".tgh");
    Note("Save as " + first.filename().string() + ", reopen, save as " + again.filename().string());
    queries.saveName = first;
    Form().FileSaveAs();
    Form().Reopen(first);
    opened_ = Text();
    queries.saveName = again;
    Form().FileSaveAs();
    EXPECT_EQ(FileText(again), FileText(first))
        << "reopening the save of action " << actions_.size() - 1;
    saved_ = again;
  }
  void Reopen() {
    if (saved_.empty()) return;
    Note("Reopen " + saved_.filename().string());
    Form().Reopen(saved_);
    opened_ = Text();
  }
  void New() {
    Note("New");
    Form().FileNew();
    opened_ = Text();
  }
  // Undoes every command and redoes them all: as opened, then as it was.
  void UndoEverything() {
    EditHistory& history = Form().Patch().History();
    // Beyond the cap the opened state is gone for good.
    if (history.Size() >= EditHistory::kMaxCommands) return;
    Note("Undo everything, then redo everything");
    const std::string now = Text();
    int undone = 0;
    for (; Form().Action("Undo")->isEnabled(); ++undone) Form().Action("Undo")->trigger();
    EXPECT_EQ(Text(), opened_) << "undoing everything after action " << actions_.size() - 1;
    for (int i = 0; i < undone; ++i) Form().Action("Redo")->trigger();
    EXPECT_EQ(Text(), now) << "redoing everything after action " << actions_.size() - 1;
  }

  void Act() {
    // A patch that grew large is thinned out rather than made larger.
    const bool crowded = Model().NodeCount() > 14;
    switch (Pick(20)) {
      case 0:
      case 1:
      case 2:
        if (crowded) return DeleteSelection();
        return NewContraption();
      case 3:
      case 4:
        return DeleteSelection();
      case 5:
      case 6:
        return Undo();
      case 7:
        return Redo();
      case 8:
        return OpenWindow();
      case 9:
        return CloseWindow();
      case 10:
        return MoveWindow();
      case 11:
      case 12:
        return Wire();
      case 13:
        return MoveNodes();
      case 14:
      case 15:
        return TurnKnob();
      case 16:
        return Preset();
      case 17:
        return Pick(3) == 0 ? SaveAndReopen() : UndoEverything();
      case 18:
        return Pick(2) == 0 ? Reopen() : Redo();
      default:
        return Pick(4) == 0 ? New() : TurnKnob();
    }
  }

  // No window without its contraption, none twice, and every contraption's
  // flag as its window is.
  void CheckWindows() {
    const std::vector<TGardeningContraption*>& live = engine->Factory().Contraptions();
    const std::set<const TGardeningContraption*> alive(live.begin(), live.end());
    std::set<const TGardeningContraption*> shown;
    for (TContraptionForm* window :
         Form().PropertiesPane()->widget()->findChildren<TContraptionForm*>(
             Qt::FindDirectChildrenOnly)) {
      ASSERT_TRUE(alive.contains(&window->Contraption())) << "a window outlived its contraption";
      EXPECT_TRUE(shown.insert(&window->Contraption()).second)
          << "two windows of " << window->Contraption().Name();
    }
    for (int i = 0; i < Model().NodeCount(); ++i) {
      TGardeningContraption& c = *Model().NodeAt(i).contraption;
      const bool onScreen = Form().WindowHost().WindowOf(c) != nullptr;
      EXPECT_EQ(c.WindowState().windowOpen, onScreen) << c.Name();
      EXPECT_EQ(shown.contains(&c), onScreen) << c.Name();
    }
  }

  void Replay() {
    std::cout << "Random actions from seed " << seed_ << "; the actions go to "
              << (dir_ / "actions.log") << std::endl;
    const long most = FromEnvironment("TONEGARDEN_RANDOM_ACTIONS", 3000);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::seconds(FromEnvironment("TONEGARDEN_RANDOM_SECONDS", 60));
    long done = 0;
    for (; done < most && std::chrono::steady_clock::now() < until && !HasFailure(); ++done) {
      Act();
      // What the event loop does between two of the user's gestures.
      QApplication::processEvents();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      CheckWindows();
    }
    if (!HasFailure()) UndoEverything();
    std::cout << done << " actions" << std::endl;
    if (HasFailure()) {
      std::cout << "Replay with TONEGARDEN_RANDOM_SEED=" << seed_
                << " TONEGARDEN_RANDOM_ACTIONS=" << done << "; the actions were:\n";
      for (const std::string& action : actions_) std::cout << "  " << action << "\n";
      std::cout << std::flush;
    }
  }

  uint32_t seed_;
  std::mt19937 random_;
  std::filesystem::path dir_;
  std::ofstream log_;
  CrashReport crashReport_{dir_ / "actions.log"};
  std::vector<std::string> actions_;
  std::chrono::steady_clock::time_point now_{};
  std::string opened_;
  std::filesystem::path saved_;
  int saves_ = 0;
};

TEST_F(RandomActionTest, RandomUserActionsLeaveNoWindowBehindAndDocumentsTrue) { Replay(); }

}  // namespace random_action_test
}  // namespace tg
