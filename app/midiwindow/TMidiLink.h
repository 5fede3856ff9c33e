#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>
#include <optional>

#include "shell/midi/MidiBinding.h"

class QAction;
class QMenu;
class QSocketNotifier;
class QTimer;
class QWidget;

namespace tg {

class MidiController;
class MidiPorts;
class PatchEditor;
class SettingsStore;
class TContraptionForm;

// MIDI in the windowed program: the ports and the controller, polled from
// the event loop (woken by the MIDI threads), the Control menu's "MIDI
// Learn" and "MIDI Bindings…", and the right-click menus of every control in
// a contraption window ("Learn MIDI Controller", "Forget MIDI", pick-up).
// What a control edits is found by asking it to edit under an EditProbe.
class TMidiLink final : public QObject {
  Q_OBJECT

 public:
  // Messages go to say; the ports open only when open is true (the program,
  // not its tests), from the stored choice.
  TMidiLink(PatchEditor& patch, SettingsStore& settings, QWidget* window, bool open,
            std::function<void(const QString&)> say);
  ~TMidiLink() override;

  void AddMenuEntries(QMenu* control);
  MidiPorts& Ports() { return *ports_; }
  MidiController& Controller() { return *controller_; }
  void StorePorts();

  // What a control of a contraption window edits, as MIDI sees it (none for
  // a control that edits no number, switch, range end or pattern bit).
  static std::optional<MidiTargetSpec> TargetOf(QWidget* control, QPoint at, bool& logarithmic);
  // The right-click menus, filled (for tests).
  void FillControlMenu(QMenu& menu, const MidiTargetSpec& target, bool logarithmic);
  void FillWindowMenu(QMenu& menu, TContraptionForm& form);
  void ShowBindings();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Poll();

  SettingsStore& settings_;
  QWidget* window_;
  std::unique_ptr<MidiPorts> ports_;
  std::unique_ptr<MidiController> controller_;
  QSocketNotifier* wake_ = nullptr;
  QTimer* timer_ = nullptr;
  QAction* learnMode_ = nullptr;
};

}  // namespace tg
