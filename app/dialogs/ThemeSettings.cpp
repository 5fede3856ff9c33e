#include "app/dialogs/ThemeSettings.h"

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>

#include "app/help/THelpBrowser.h"
#include "host/SettingsStore.h"

namespace tg {

namespace {
constexpr std::string_view kThemeKey = "Theme";
}

StageTheme LoadStageTheme(const SettingsStore& settings) {
  const auto stored = settings.ReadString(SettingsGroup("Main Window"), kThemeKey);
  return stored ? StageThemeNamed(QString::fromStdString(*stored)) : StageTheme::Light;
}

void StoreStageTheme(SettingsStore& settings, StageTheme theme) {
  settings.WriteString(SettingsGroup("Main Window"), kThemeKey, StageThemeName(theme));
}

void ApplyStageTheme(StageTheme theme) {
  StagePalette::Use(theme);
  // A desktop's own style may ignore the palette; Fusion draws with it.
  if (QApplication::style()->name().compare("fusion", Qt::CaseInsensitive) != 0)
    QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setPalette(StagePalette::Current().ToQPalette());
  for (QWidget* widget : QApplication::allWidgets()) {
    // Help pages take their colours from a style sheet, not the palette.
    if (auto* help = qobject_cast<THelpBrowser*>(widget)) help->FollowTheme();
    widget->update();
  }
}

}  // namespace tg
