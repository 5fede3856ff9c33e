// tonegarden-gallery: every drawn control in one window, for looking at them
// (a developer's tool; not part of the program's menus).
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "app/patcher/KWPatcherPanel.h"
#include "contraptions/generators/testgen/TTestGenForm.h"
#include "controls/KWDWKnob.h"
#include "controls/KWDWMeter.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWPianoKeyboard.h"
#include "controls/KWRangeSlider.h"
#include "controls/KWTrigSplineEdit.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"

using namespace tg;

namespace {

QWidget* Labelled(const QString& text, QWidget* control) {
  auto* box = new QWidget;
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(control, 0, Qt::AlignHCenter);
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignHCenter);
  layout->addWidget(label);
  return box;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Tonegarden controls");
  auto* grid = new QGridLayout(&window);

  auto* knobs = new QGroupBox("Knobs");
  auto* knobRow = new QHBoxLayout(knobs);
  auto* volume = new KWDWKnob;
  volume->setFixedSize(35, 35);
  volume->SetValue(0.7);
  knobRow->addWidget(Labelled("Volume", volume));
  auto* cutoff = new KWDWKnob;
  cutoff->setFixedSize(49, 49);
  cutoff->SetScale(ValueScale::Logarithmic);
  cutoff->SetMin(20);
  cutoff->SetMax(20000);
  cutoff->SetValue(632);
  cutoff->SetTickStyle(TickStyle::Auto);
  cutoff->SetFrequency(2000);
  knobRow->addWidget(Labelled("Cutoff (log)", cutoff));
  auto* disabled = new KWDWKnob;
  disabled->setFixedSize(35, 35);
  disabled->SetValue(0.3);
  disabled->setEnabled(false);
  knobRow->addWidget(Labelled("Disabled", disabled));
  grid->addWidget(knobs, 0, 0);

  auto* faders = new QGroupBox("Faders");
  auto* faderRow = new QHBoxLayout(faders);
  auto* fader = new KWDWSlider;
  fader->setFixedSize(24, 110);
  fader->SetValue(0.8);
  faderRow->addWidget(Labelled("Gain", fader));
  auto* range = new KWRangeSlider;
  range->setFixedSize(24, 110);
  range->SetValue0(0.25);
  range->SetValue1(0.7);
  faderRow->addWidget(Labelled("Range", range));
  auto* horizontal = new KWDWSlider;
  horizontal->SetVertical(false);
  horizontal->setFixedSize(120, 24);
  horizontal->SetValue(0.4);
  horizontal->SetTickStyle(TickStyle::Auto);
  horizontal->SetFrequency(0.25);
  faderRow->addWidget(Labelled("Pan", horizontal));
  grid->addWidget(faders, 0, 1);

  auto* fields = new QGroupBox("Number edits and meters");
  auto* fieldColumn = new QVBoxLayout(fields);
  auto* tempo = new KWNumberEdit;
  tempo->setFixedWidth(90);
  tempo->SetMin(1);
  tempo->SetMax(240);
  tempo->SetIncrement(1);
  tempo->SetAutoIncrement(false);
  tempo->SetValue(120);
  fieldColumn->addWidget(Labelled("Tempo", tempo));
  auto* bad = new KWNumberEdit;
  bad->setFixedWidth(90);
  bad->SetValue(12);
  bad->Editor()->setText("12x");
  emit bad->Editor()->textEdited("12x");
  fieldColumn->addWidget(Labelled("Unreadable input", bad));
  auto* meter = new KWDWMeter;
  meter->SetVertical(false);
  meter->SetSegmentCount(13);
  meter->SetChannelCount(2);
  meter->setFixedSize(134, 14);
  meter->SetValues(0, 0.75f);
  meter->SetValues(1, 1.0f);
  fieldColumn->addWidget(Labelled("Meter (0.75 / 1.0)", meter));
  grid->addWidget(fields, 0, 2);

  auto* spline = new KWTrigSplineEdit;
  spline->setFixedSize(160, 160);
  spline->SetCommaText("0,0.6, -0.6,0.1, -0.3,-0.5, 0.4,-0.4, 0.6,0.2");
  grid->addWidget(Labelled("Spline path", spline), 1, 0);

  auto* keyboard = new KWPianoKeyboard;
  keyboard->setFixedHeight(65);
  keyboard->SetBottomKey(48);
  keyboard->SetKeyRange(36);
  keyboard->SetAutoSize(true);
  keyboard->SetInputMode(KWPianoKeyboard::InputMode::Multiple);
  keyboard->SetSelectedKey(60);
  grid->addWidget(Labelled("Piano keyboard", keyboard), 1, 1, 1, 2);

  PatchModel patch;
  PatchNode& gen = patch.AddNode(20, 15, "TestGen_1", 0, 1, nullptr);
  PatchNode& delay = patch.AddNode(20, 75, "SDelay_1", 2, 2, nullptr);
  PatchNode& out = patch.AddNode(60, 140, "SoundOut", 2, 0, nullptr);
  patch.AddConnection(gen, 0, delay, 0);
  patch.AddConnection(delay, 0, out, 0);
  patch.AddConnection(delay, 1, out, 1);
  auto* pane = new KWPatcherPanel(patch);
  pane->setFixedSize(200, 190);
  grid->addWidget(Labelled("Patcher pane", pane), 0, 3, 2, 1);

  // An editor window, as it sits in the properties pane.
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  TAudioEngineModule engine(factory);
  auto testGen = factory.Create(engine, "TestGen", "");
  auto* editors = new QWidget;
  editors->setFixedSize(200, 110);
  auto* form = new TTestGenForm(*testGen, editors);
  form->UpdateControls();
  grid->addWidget(Labelled("Editor window", editors), 1, 3);

  window.show();
  const int result = app.exec();
  delete form;
  return result;
}
