#pragma once

#include "controls/StagePalette.h"

namespace tg {

class SettingsStore;

// "Theme": stored with the main window's settings; Light when missing or unknown.
StageTheme LoadStageTheme(const SettingsStore& settings);
void StoreStageTheme(SettingsStore& settings, StageTheme theme);

// Makes theme the look of every window: the standard widgets through the
// application's palette (on the Fusion style, which follows it everywhere),
// the drawn ones through the stage palette, all repainted now.
void ApplyStageTheme(StageTheme theme);

}  // namespace tg
