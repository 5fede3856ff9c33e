#pragma once

#include <optional>

namespace tg {

class SettingsStore;

// The main window's place and bars as stored in "Main Window".
struct WindowPlacement {
  bool maximized = false;
  int left = 0, top = 0, width = 0, height = 0;
  std::optional<bool> toolBar, statusBar;

  // Nothing when never stored (the first start opens maximised).
  static std::optional<WindowPlacement> Load(const SettingsStore& settings);
  void Store(SettingsStore& settings) const;
  // Keeps the window on a screen of the given size: no larger than it, and
  // centred along an axis where it starts beyond it.
  void FitToScreen(int screenWidth, int screenHeight);
};

}  // namespace tg
