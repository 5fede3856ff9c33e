#include "shell/program/WindowPlacement.h"

#include <algorithm>
#include <string>

#include "host/SettingsStore.h"

namespace tg {
namespace {

const std::string& PlacementGroup() {
  static const std::string group = SettingsGroup("Main Window");
  return group;
}

}  // namespace

std::optional<WindowPlacement> WindowPlacement::Load(const SettingsStore& settings) {
  if (!settings.HasGroup(PlacementGroup())) return std::nullopt;
  WindowPlacement p;
  p.maximized = settings.ReadBool(PlacementGroup(), "Maximized").value_or(false);
  auto get = [&](const char* key, int fallback) {
    const auto v = settings.ReadInt(PlacementGroup(), key);
    return v ? static_cast<int>(std::clamp<int64_t>(*v, -100000, 100000)) : fallback;
  };
  p.hasPosition = settings.ReadInt(PlacementGroup(), "Left").has_value() &&
                  settings.ReadInt(PlacementGroup(), "Top").has_value();
  p.left = get("Left", 0);
  p.top = get("Top", 0);
  p.width = std::max(get("Width", 800), 100);
  p.height = std::max(get("Height", 600), 100);
  p.toolBar = settings.ReadBool(PlacementGroup(), "ToolBar");
  p.statusBar = settings.ReadBool(PlacementGroup(), "StatusBar");
  return p;
}

void WindowPlacement::Store(SettingsStore& settings) const {
  settings.WriteBool(PlacementGroup(), "Maximized", maximized);
  if (hasPosition) {
    settings.WriteInt(PlacementGroup(), "Left", left);
    settings.WriteInt(PlacementGroup(), "Top", top);
  } else {
    settings.Remove(PlacementGroup(), "Left");
    settings.Remove(PlacementGroup(), "Top");
  }
  settings.WriteInt(PlacementGroup(), "Width", width);
  settings.WriteInt(PlacementGroup(), "Height", height);
  if (toolBar) settings.WriteBool(PlacementGroup(), "ToolBar", *toolBar);
  if (statusBar) settings.WriteBool(PlacementGroup(), "StatusBar", *statusBar);
}

WindowPlacement WindowPlacement::FirstStart(const Rect& screen, const Frame& frame) {
  WindowPlacement p;
  p.maximized = true;
  const int outerWidth = screen.width * 3 / 4, outerHeight = screen.height * 3 / 4;
  p.left = screen.left + (screen.width - outerWidth) / 2;
  p.top = screen.top + (screen.height - outerHeight) / 2;
  p.width = outerWidth - frame.left - frame.right;
  p.height = outerHeight - frame.top - frame.bottom;
  return p;
}

WindowPlacement::Rect WindowPlacement::FrameOn(const std::vector<Rect>& screens,
                                               const Frame& frame) const {
  if (screens.empty())
    return {left, top, width + frame.left + frame.right, height + frame.top + frame.bottom};
  const int outerWidth = width + frame.left + frame.right;
  const int outerHeight = height + frame.top + frame.bottom;
  // Where the user grabs the window: the middle of its title bar.
  const int grabX = left + outerWidth / 2, grabY = top + std::max(frame.top, 1) / 2;
  const auto on = std::find_if(screens.begin(), screens.end(),
                               [&](const Rect& s) { return s.Contains(grabX, grabY); });
  const Rect& screen = on != screens.end() ? *on : screens.front();
  Rect placed{left, top, std::min(outerWidth, screen.width), std::min(outerHeight, screen.height)};
  if (placed.left >= screen.left + screen.width)
    placed.left = screen.left + (screen.width - placed.width) / 2;
  if (placed.top >= screen.top + screen.height)
    placed.top = screen.top + (screen.height - placed.height) / 2;
  placed.left = std::clamp(placed.left, screen.left, screen.left + screen.width - placed.width);
  placed.top = std::clamp(placed.top, screen.top, screen.top + screen.height - placed.height);
  return placed;
}

}  // namespace tg
