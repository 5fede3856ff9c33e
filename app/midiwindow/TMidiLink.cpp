#include "app/midiwindow/TMidiLink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>

#include "app/midiwindow/TMidiBindingsForm.h"
#include "contraptions/generators/bassline/TGBassline.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "controls/KWRangeSlider.h"
#include "controls/KWStepGrid.h"
#include "controls/KWValueControl.h"
#include "dsp/NoteNumbers.h"
#include "engine/TAudioEngineModule.h"
#include "engine/midi/MidiPorts.h"
#include "forms/EditProbe.h"
#include "forms/TContraptionForm.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSPropertyTable.h"
#include "shell/midi/MidiController.h"
#include "shell/patch/PatchEditor.h"

namespace tg {

namespace midi_link {

constexpr int kPollMilliseconds = 20;

TContraptionForm* FormOf(QWidget* widget) {
  for (QObject* o = widget; o != nullptr; o = o->parent()) {
    if (auto* form = qobject_cast<TContraptionForm*>(o)) return form;
  }
  return nullptr;
}

bool IsLearnable(QWidget* w) {
  return qobject_cast<KWValueControl*>(w) != nullptr ||
         qobject_cast<KWRangeSlider*>(w) != nullptr || qobject_cast<KWStepGrid*>(w) != nullptr ||
         (qobject_cast<QAbstractButton*>(w) != nullptr &&
          static_cast<QAbstractButton*>(w)->isCheckable());
}

// A window's own surface, not one of its controls.
bool IsBackground(QWidget* w, const TContraptionForm* form) {
  return w == form || qobject_cast<QLabel*>(w) != nullptr ||
         w->metaObject() == &QWidget::staticMetaObject;
}

std::string NameIn(const QSPropertyTable& table, const QSProperty* property) {
  for (int i = 0; i < table.Count(); ++i) {
    if (&table.PropertyAt(i) == property) return table.InfoAt(i).name;
  }
  return {};
}

}  // namespace midi_link

TMidiLink::TMidiLink(PatchEditor& patch, SettingsStore& settings, QWidget* window, bool open,
                     std::function<void(const QString&)> say)
    : QObject(nullptr),
      settings_(settings),
      window_(window),
      ports_(std::make_unique<MidiPorts>(patch.Engine(), MidiPorts::StandardSystems())),
      controller_(std::make_unique<MidiController>(patch, *ports_)) {
  controller_->SetMessageHandler(
      [say = std::move(say)](const std::string& text) { say(QString::fromStdString(text)); });
  controller_->SetLearnHandler([this] {
    if (learnMode_ != nullptr) learnMode_->setChecked(controller_->LearnMode());
  });
  qApp->installEventFilter(this);
  if (!open) return;
  ports_->Load(settings_);
  ports_->Open();
  if (ports_->Wake().Fd() >= 0) {
    wake_ = new QSocketNotifier(ports_->Wake().Fd(), QSocketNotifier::Read, this);
    connect(wake_, &QSocketNotifier::activated, this, [this] { Poll(); });
  }
  timer_ = new QTimer(this);
  timer_->setInterval(midi_link::kPollMilliseconds);
  connect(timer_, &QTimer::timeout, this, [this] { Poll(); });
  timer_->start();
}

TMidiLink::~TMidiLink() {
  qApp->removeEventFilter(this);
  controller_.reset();
  ports_.reset();
}

void TMidiLink::Poll() { controller_->Poll(); }

void TMidiLink::StorePorts() { ports_->Store(settings_); }

void TMidiLink::AddMenuEntries(QMenu* control) {
  control->addSeparator();
  learnMode_ = control->addAction("MIDI &Learn");
  learnMode_->setObjectName("MidiLearn");
  learnMode_->setCheckable(true);
  learnMode_->setStatusTip("Click a control, then move a MIDI controller to bind it");
  connect(learnMode_, &QAction::triggered, this,
          [this](bool on) { controller_->SetLearnMode(on); });
  QAction* scene = control->addAction("Learn MIDI &Scene Change");
  scene->setObjectName("MidiScene");
  scene->setStatusTip("A MIDI program change recalls that preset on every contraption");
  connect(scene, &QAction::triggered, this, [this] {
    controller_->Learn({MidiTargetSpec::Kind::Scene, {}, {}, 0});
  });
  QAction* bindings = control->addAction("MIDI &Bindings...");
  bindings->setObjectName("MidiBindings");
  connect(bindings, &QAction::triggered, this, [this] { ShowBindings(); });
}

std::optional<MidiTargetSpec> TMidiLink::TargetOf(QWidget* control, QPoint at, bool& logarithmic) {
  TContraptionForm* form = midi_link::FormOf(control);
  if (form == nullptr) return std::nullopt;
  TGardeningContraption& contraption = form->Contraption();
  const QSPropertyTable* table = contraption.Processor().GetPropertyTable();
  if (table == nullptr) return std::nullopt;
  logarithmic = false;
  EditProbe probe;
  std::optional<bool> upperEnd;
  // Each control asked to set what it shows now, so nothing it does beside
  // the edit changes anything.
  if (auto* value = qobject_cast<KWValueControl*>(control)) {
    logarithmic = value->Scale() != ValueScale::Linear;
    emit value->OnChange(value->Value());
  } else if (auto* range = qobject_cast<KWRangeSlider*>(control)) {
    upperEnd = range->GrabAt(at) == RangeGrab::Upper;
    emit range->OnChange(range->Value0(), range->Value1());
  } else if (auto* grid = qobject_cast<KWStepGrid*>(control)) {
    const QPoint cell = grid->CellAt(at);
    if (cell.x() < 0 || cell.y() < 0) return std::nullopt;
    emit grid->CellPressed(cell.x(), cell.y(), at);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    emit button->clicked(button->isChecked());
    emit button->toggled(button->isChecked());
  }
  const std::vector<EditProbe::Heard>& heard = probe.All();
  if (heard.empty()) return std::nullopt;
  MidiTargetSpec target;
  target.contraption = contraption.Name();
  const EditProbe::Heard* chosen = &heard.front();
  if (upperEnd) {
    const bool oneRange = heard.size() == 1 || heard.back().property == heard.front().property;
    if (oneRange) {
      target.kind = *upperEnd ? MidiTargetSpec::Kind::RangeHigh : MidiTargetSpec::Kind::RangeLow;
    } else if (*upperEnd) {
      chosen = &heard.back();  // two parameters: the low end's, then the high end's
    }
  } else if (heard.front().bit >= 0) {
    target.kind = MidiTargetSpec::Kind::Bit;
    target.index = heard.front().bit;
  }
  target.parameter = midi_link::NameIn(*table, chosen->property);
  if (target.parameter.empty()) return std::nullopt;
  return target;
}

void TMidiLink::FillControlMenu(QMenu& menu, const MidiTargetSpec& target, bool logarithmic) {
  const MidiBinding* binding = controller_->BindingOf(target);
  if (binding != nullptr) {
    menu.addAction(QString::fromStdString(binding->SourceText()))->setEnabled(false);
  }
  QAction* learn = menu.addAction("Learn MIDI Controller");
  connect(learn, &QAction::triggered, this,
          [this, target, logarithmic] { controller_->Learn(target, logarithmic); });
  QAction* forget = menu.addAction("Forget MIDI");
  forget->setEnabled(binding != nullptr);
  connect(forget, &QAction::triggered, this, [this, target] { controller_->Forget(target); });
  QAction* pickUp = menu.addAction("MIDI Pick-Up");
  pickUp->setCheckable(true);
  pickUp->setChecked(binding != nullptr && binding->pickUp);
  pickUp->setEnabled(binding != nullptr);
  connect(pickUp, &QAction::triggered, this,
          [this, target](bool on) { controller_->SetPickUp(target, on); });
}

void TMidiLink::FillWindowMenu(QMenu& menu, TContraptionForm& form) {
  TGardeningContraption& c = form.Contraption();
  const std::string name = c.Name();
  auto forgettable = [&](const MidiTargetSpec& target, const QString& text) {
    QAction* forget = menu.addAction(text);
    forget->setEnabled(controller_->BindingOf(target) != nullptr);
    connect(forget, &QAction::triggered, this, [this, target] { controller_->Forget(target); });
  };
  const MidiTargetSpec presets{MidiTargetSpec::Kind::Presets, name, {}, 0};
  connect(menu.addAction("Learn MIDI Program Change"), &QAction::triggered, this,
          [this, presets] { controller_->Learn(presets); });
  forgettable(presets, "Forget MIDI Program Change");
  if (dynamic_cast<TGDrums*>(&c.Processor()) != nullptr) {
    menu.addSeparator();
    connect(menu.addAction("MIDI Pads (Notes 36 to 40)"), &QAction::triggered, this,
            [this, name] { controller_->BindPads(name); });
    for (int slot = 0; slot < TGDrums::kSlots; ++slot) {
      const MidiTargetSpec pad{MidiTargetSpec::Kind::Pad, name, {}, slot};
      connect(menu.addAction(QString("Learn MIDI Pad %1").arg(slot + 1)), &QAction::triggered, this,
              [this, pad] { controller_->Learn(pad); });
    }
    QAction* forget = menu.addAction("Forget MIDI Pads");
    connect(forget, &QAction::triggered, this, [this, name] {
      for (int slot = 0; slot < TGDrums::kSlots; ++slot)
        controller_->Forget({MidiTargetSpec::Kind::Pad, name, {}, slot});
    });
  }
  if (dynamic_cast<TGBassline*>(&c.Processor()) != nullptr) {
    menu.addSeparator();
    const MidiTargetSpec transpose{MidiTargetSpec::Kind::Transpose, name, {}, 0};
    const MidiBinding* bound = controller_->BindingOf(transpose);
    const int root = bound != nullptr ? bound->number : MidiBinding::kDefaultRoot;
    connect(
        menu.addAction(
            QString("MIDI Transposition (Root %1)").arg(QString::fromStdString(NoteName(root)))),
        &QAction::triggered, this, [this, name] { controller_->BindTransposition(name); });
    connect(menu.addAction("Learn MIDI Root Note"), &QAction::triggered, this,
            [this, transpose] { controller_->Learn(transpose); });
    forgettable(transpose, "Forget MIDI Transposition");
  }
}

void TMidiLink::ShowBindings() {
  TMidiBindingsForm dialog(controller_->Patch().Bindings(), window_);
  if (dialog.exec() != QDialog::Accepted) return;
  controller_->Patch().EditBindings(dialog.Bindings(), "Edit MIDI Bindings");
}

bool TMidiLink::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType())
    return QObject::eventFilter(watched, event);
  auto* widget = static_cast<QWidget*>(watched);
  auto* mouse = static_cast<QMouseEvent*>(event);
  TContraptionForm* form = midi_link::FormOf(widget);
  if (form == nullptr) return false;
  const bool right = mouse->button() == Qt::RightButton;
  const bool learnClick = mouse->button() == Qt::LeftButton && controller_->LearnMode();
  if (!right && !learnClick) return false;
  const QPoint at = mouse->position().toPoint();
  if (midi_link::IsLearnable(widget)) {
    bool logarithmic = false;
    const std::optional<MidiTargetSpec> target = TargetOf(widget, at, logarithmic);
    if (learnClick) {
      if (target) controller_->Learn(*target, logarithmic);
      return true;  // in learn mode a click binds, it does not edit
    }
    QMenu menu;
    if (target) {
      FillControlMenu(menu, *target, logarithmic);
    } else {
      menu.addAction("No parameter MIDI can move")->setEnabled(false);
    }
    menu.exec(mouse->globalPosition().toPoint());
    return true;
  }
  if (right && midi_link::IsBackground(widget, form)) {
    QMenu menu;
    FillWindowMenu(menu, *form);
    menu.exec(mouse->globalPosition().toPoint());
    return true;
  }
  return false;
}

}  // namespace tg
