#pragma once

#include <QIcon>
#include <QString>

namespace tg {

// The transport buttons' glyphs of SoundIn's and SoundOut's windows ("PLAY",
// "PAUSE", "STOP", "RECORD", "REC_PAUSED"), drawn so nothing has to be shipped.
QIcon TransportGlyph(const QString& name);

// Seconds with at most two decimals cut (not rounded) from the number's
// text, then " (sec)": "duration: " labels show lengths so.
QString SecondsText(double seconds);

}  // namespace tg
