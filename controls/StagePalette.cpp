#include "controls/StagePalette.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace tg {

namespace {

StagePalette MakeLightPalette() {
  StagePalette p;
  // Today's look: the standard light grey widgets.
  p.window = QColor(239, 239, 239);
  p.windowText = QColor(0, 0, 0);
  p.base = QColor(255, 255, 255);
  p.alternateBase = QColor(247, 247, 247);
  p.text = QColor(0, 0, 0);
  p.button = QColor(239, 239, 239);
  p.buttonText = QColor(0, 0, 0);
  p.brightText = QColor(255, 255, 255);
  p.highlight = QColor(38, 102, 160);
  p.highlightedText = QColor(255, 255, 255);
  p.light = QColor(255, 255, 255);
  p.midlight = QColor(202, 202, 202);
  p.mid = QColor(184, 184, 184);
  p.dark = QColor(159, 159, 159);
  p.shadow = QColor(118, 118, 118);
  p.toolTipBase = QColor(255, 255, 220);
  p.toolTipText = QColor(0, 0, 0);
  p.placeholderText = QColor(96, 96, 96);
  p.link = QColor(0, 0, 200);
  p.disabledText = QColor(100, 100, 100);
  p.cellOff = QColor(255, 255, 255);
  p.cellOn = QColor(0, 0, 0);
  p.cellText = QColor(0, 0, 0);
  p.playheadOff = QColor(255, 214, 120);
  p.playheadOn = QColor(150, 70, 0);
  p.valueBack = QColor(255, 255, 220);
  p.valueText = QColor(0, 0, 0);
  p.pathBack = QColor(0, 128, 128);
  p.pathLine = QColor(0, 0, 255);
  p.pathStart = QColor(255, 0, 0);
  p.pathPoint = QColor(0, 255, 0);
  p.pathCurve = QColor(0, 0, 0);
  p.paneBack = QColor(255, 255, 255);
  p.nodeFace = QColor(239, 239, 239);
  p.nodeText = QColor(0, 0, 0);
  p.nodeSelected = QColor(38, 102, 160);
  p.nodeSelectedText = QColor(255, 255, 255);
  p.wireMono = QColor(0, 0, 0);
  p.wireLeft = QColor(0, 70, 200);
  p.wireRight = QColor(190, 30, 30);
  p.rubberBand = QColor(128, 128, 128);
  p.warningText = QColor(190, 0, 0);
  return p;
}

StagePalette MakeDarkPalette() {
  StagePalette p;
  // Low light on a dark stage: nothing bright in large areas, text light
  // enough to read at arm's length.
  p.window = QColor(38, 40, 43);
  p.windowText = QColor(222, 224, 226);
  p.base = QColor(26, 27, 30);
  p.alternateBase = QColor(44, 46, 50);
  p.text = QColor(222, 224, 226);
  p.button = QColor(52, 55, 59);
  p.buttonText = QColor(222, 224, 226);
  p.brightText = QColor(255, 255, 255);
  p.highlight = QColor(64, 110, 160);
  p.highlightedText = QColor(255, 255, 255);
  p.light = QColor(80, 84, 90);
  p.midlight = QColor(66, 70, 75);
  p.mid = QColor(30, 31, 34);
  p.dark = QColor(22, 23, 25);
  p.shadow = QColor(10, 10, 12);
  p.toolTipBase = QColor(58, 60, 50);
  p.toolTipText = QColor(240, 240, 225);
  p.placeholderText = QColor(150, 152, 156);
  p.link = QColor(130, 180, 255);
  p.disabledText = QColor(165, 167, 171);
  p.cellOff = QColor(58, 62, 68);
  p.cellOn = QColor(214, 218, 222);
  p.cellText = QColor(230, 232, 234);
  p.playheadOff = QColor(110, 80, 20);
  p.playheadOn = QColor(255, 196, 80);
  p.valueBack = QColor(20, 22, 24);
  p.valueText = QColor(255, 210, 120);
  p.pathBack = QColor(16, 48, 50);
  p.pathLine = QColor(110, 170, 255);
  p.pathStart = QColor(255, 100, 90);
  p.pathPoint = QColor(120, 230, 120);
  p.pathCurve = QColor(220, 224, 228);
  p.paneBack = QColor(30, 31, 34);
  p.nodeFace = QColor(58, 62, 68);
  p.nodeText = QColor(226, 228, 230);
  p.nodeSelected = QColor(64, 110, 160);
  p.nodeSelectedText = QColor(255, 255, 255);
  p.wireMono = QColor(200, 204, 208);
  p.wireLeft = QColor(100, 170, 255);
  p.wireRight = QColor(255, 120, 110);
  p.rubberBand = QColor(150, 150, 150);
  p.warningText = QColor(255, 120, 110);
  return p;
}

StageTheme currentStageTheme = StageTheme::Light;

double Linear(int channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(const QColor& c) {
  return 0.2126 * Linear(c.red()) + 0.7152 * Linear(c.green()) + 0.0722 * Linear(c.blue());
}

}  // namespace

const StagePalette& StagePalette::Of(StageTheme theme) {
  static const StagePalette light = MakeLightPalette();
  static const StagePalette dark = MakeDarkPalette();
  return theme == StageTheme::Dark ? dark : light;
}

const StagePalette& StagePalette::Current() { return Of(currentStageTheme); }
StageTheme StagePalette::CurrentTheme() { return currentStageTheme; }
void StagePalette::Use(StageTheme theme) { currentStageTheme = theme; }

QPalette StagePalette::ToQPalette() const {
  QPalette q;
  const auto set = [&q](QPalette::ColorRole role, const QColor& c) { q.setColor(role, c); };
  set(QPalette::Window, window);
  set(QPalette::WindowText, windowText);
  set(QPalette::Base, base);
  set(QPalette::AlternateBase, alternateBase);
  set(QPalette::Text, text);
  set(QPalette::Button, button);
  set(QPalette::ButtonText, buttonText);
  set(QPalette::BrightText, brightText);
  set(QPalette::Highlight, highlight);
  set(QPalette::HighlightedText, highlightedText);
  set(QPalette::Light, light);
  set(QPalette::Midlight, midlight);
  set(QPalette::Mid, mid);
  set(QPalette::Dark, dark);
  set(QPalette::Shadow, shadow);
  set(QPalette::ToolTipBase, toolTipBase);
  set(QPalette::ToolTipText, toolTipText);
  set(QPalette::PlaceholderText, placeholderText);
  set(QPalette::Link, link);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    q.setColor(QPalette::Disabled, role, disabledText);
  return q;
}

std::vector<StagePalette::TextPair> StagePalette::TextPairs() const {
  return {
      {"window text", windowText, window},
      {"text on base", text, base},
      {"text on alternate base", text, alternateBase},
      {"button text", buttonText, button},
      {"highlighted text", highlightedText, highlight},
      {"tool tip", toolTipText, toolTipBase},
      {"placeholder", placeholderText, base},
      {"link", link, base},
      {"disabled text", disabledText, window},
      {"disabled button text", disabledText, button},
      {"note in a cell", cellText, cellOff},
      {"note under the playhead", cellText, playheadOff},
      {"value beside a control", valueText, valueBack},
      {"node caption", nodeText, nodeFace},
      {"selected node caption", nodeSelectedText, nodeSelected},
      {"warning", warningText, window},
      {"warning beside a control", warningText, valueBack},
  };
}

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QString WarningStyle() {
  return QString("color: %1;").arg(StagePalette::Current().warningText.name());
}

const char* StageThemeName(StageTheme theme) {
  return theme == StageTheme::Dark ? "Dark" : "Light";
}

StageTheme StageThemeNamed(const QString& name) {
  return name == QLatin1String("Dark") ? StageTheme::Dark : StageTheme::Light;
}

}  // namespace tg
