#pragma once

#include <optional>
#include <vector>

namespace tg {

class SettingsStore;

// The main window's place and bars as stored in "Main Window": the frame's
// top-left corner and the inside's size, in device pixels, so a place stored
// under one scale factor means the same part of the screen under another.
struct WindowPlacement {
  struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool Contains(int x, int y) const {
      return x >= left && x < left + width && y >= top && y < top + height;
    }
    bool operator==(const Rect&) const = default;
  };
  // How far the frame reaches beyond the inside on each side.
  struct Frame {
    int left = 0, top = 0, right = 0, bottom = 0;
  };

  bool maximized = false;
  int left = 0, top = 0, width = 0, height = 0;
  // False where the platform neither tells nor sets a window's position
  // (Wayland): only the size and the maximised state are stored.
  bool hasPosition = true;
  std::optional<bool> toolBar, statusBar;

  // Nothing when never stored (the first start opens maximised).
  static std::optional<WindowPlacement> Load(const SettingsStore& settings);
  void Store(SettingsStore& settings) const;
  // The first start's normal place to come back to from maximised: three
  // quarters of the screen, in its middle.
  static WindowPlacement FirstStart(const Rect& screen, const Frame& frame);
  // Where the frame goes among the screens (their available areas, the main
  // one first): the screen the title bar lies on, else the main one, with a
  // start beyond its far edge centred; the whole frame is kept on that
  // screen, shrunk to fit it if need be.
  Rect FrameOn(const std::vector<Rect>& screens, const Frame& frame) const;
};

}  // namespace tg
