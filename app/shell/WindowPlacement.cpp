#include "app/shell/WindowPlacement.h"

#include <algorithm>
#include <string>

#include "framework/host/SettingsStore.h"

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
  settings.WriteInt(PlacementGroup(), "Left", left);
  settings.WriteInt(PlacementGroup(), "Top", top);
  settings.WriteInt(PlacementGroup(), "Width", width);
  settings.WriteInt(PlacementGroup(), "Height", height);
  if (toolBar) settings.WriteBool(PlacementGroup(), "ToolBar", *toolBar);
  if (statusBar) settings.WriteBool(PlacementGroup(), "StatusBar", *statusBar);
}

void WindowPlacement::FitToScreen(int screenWidth, int screenHeight) {
  width = std::min(width, screenWidth);
  height = std::min(height, screenHeight);
  if (left > screenWidth) left = (screenWidth - width) / 2;
  if (top > screenHeight) top = (screenHeight - height) / 2;
}

}  // namespace tg
