#pragma once

#include <QColor>
#include <QPalette>
#include <vector>

namespace tg {

enum class StageTheme { Light, Dark };

// Every colour the program draws with, for one theme: the standard widgets'
// roles and those of the drawn controls, step grids, the path editor and the
// patcher pane. Windows read the current one when they paint, so a change of
// theme needs no more than a repaint.
struct StagePalette {
  // Standard widgets (through QPalette).
  QColor window, windowText, base, alternateBase, text, button, buttonText, brightText;
  QColor highlight, highlightedText, light, midlight, mid, dark, shadow;
  QColor toolTipBase, toolTipText, placeholderText, link, disabledText;
  // Step grids and gate matrices: a clear and a set cell, a note's text, and
  // the same under the playhead.
  QColor cellOff, cellOn, cellText, playheadOff, playheadOn;
  // The value shown beside a knob or slider while it moves.
  QColor valueBack, valueText;
  // Path editor.
  QColor pathBack, pathLine, pathStart, pathPoint, pathCurve;
  // Patcher pane: nodes, their captions and the wires by kind of port.
  QColor paneBack, nodeFace, nodeText, nodeSelected, nodeSelectedText;
  QColor wireMono, wireLeft, wireRight, rubberBand;
  // Warnings written as text (a lost take, clipping).
  QColor warningText;

  static const StagePalette& Of(StageTheme theme);
  static const StagePalette& Current();
  static StageTheme CurrentTheme();
  // Only sets what Current answers; ApplyStageTheme brings the windows along.
  static void Use(StageTheme theme);

  QPalette ToQPalette() const;

  // Every text colour with the background it is drawn on, for checking
  // that each reads.
  struct TextPair {
    const char* name;
    QColor text;
    QColor background;
  };
  std::vector<TextPair> TextPairs() const;
};

// The contrast ratio of two colours by their relative luminance, 1 … 21.
double ContrastRatio(const QColor& a, const QColor& b);

// A style sheet that writes a label's text in the warning colour.
QString WarningStyle();

// Names used in settings ("Light", "Dark"); anything else reads as Light.
const char* StageThemeName(StageTheme theme);
StageTheme StageThemeNamed(const QString& name);

}  // namespace tg
