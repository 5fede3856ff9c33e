#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTest>

#include "app/dialogs/TSettingsForm.h"
#include "app/dialogs/ThemeSettings.h"
#include "app/help/THelpBrowser.h"
#include "app/mainwindow/SilentProgram.h"
#include "controls/KWStepGrid.h"
#include "controls/StagePalette.h"
#include "host/StreamUserMessages.h"

namespace tg {
namespace stage_theme_test {

class StagePaletteTest : public ::testing::TestWithParam<StageTheme> {};

TEST(ContrastRatioTest, RunsFromOneForEqualColoursToTwentyOneForBlackOnWhite) {
  EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(QColor(119, 119, 119), Qt::white), 4.48, 0.01);
  EXPECT_NEAR(ContrastRatio(QColor(40, 90, 10), QColor(40, 90, 10)), 1.0, 1e-9);
}

TEST_P(StagePaletteTest, EveryTextReadsOnItsBackgroundAndEveryMarkStandsOut) {
  const StagePalette& p = StagePalette::Of(GetParam());
  for (const StagePalette::TextPair& pair : p.TextPairs()) {
    EXPECT_GE(ContrastRatio(pair.text, pair.background), 4.5) << pair.name;
  }
  // Marks that are not text need less, but must still be seen.
  const struct {
    const char* name;
    QColor mark, background;
  } marks[] = {{"set cell", p.cellOn, p.cellOff},
               {"set cell under the playhead", p.playheadOn, p.playheadOff},
               {"mono wire", p.wireMono, p.paneBack},
               {"left wire", p.wireLeft, p.paneBack},
               {"right wire", p.wireRight, p.paneBack}};
  for (const auto& m : marks) EXPECT_GE(ContrastRatio(m.mark, m.background), 3.0) << m.name;
  EXPECT_NE(p.wireLeft, p.wireRight);
  EXPECT_NE(p.wireLeft, p.wireMono);
}

INSTANTIATE_TEST_SUITE_P(BothThemes, StagePaletteTest,
                         ::testing::Values(StageTheme::Light, StageTheme::Dark),
                         [](const auto& paramInfo) {
                           return std::string(StageThemeName(paramInfo.param));
                         });

TEST(StageThemeSettingTest, TheChosenThemeIsStoredAndEveryWindowTakesIt) {
  SilentProgram program;
  StreamUserMessages messages{nullptr};
  KWStepGrid grid;
  grid.SetColumns(4, 12);
  grid.SetRows({12}, {"1"});
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  const auto clearCell = [&grid] {
    return grid.grab().toImage().pixelColor(grid.CellRect(1, 0).center());
  };
  // A help page open all along: its heading, drawn in the sheet's colour.
  THelpBrowser help(program.factory);
  help.ShowContents();
  help.show();
  const auto heading = [&help] {
    const QTextDocument* page = help.findChild<QTextBrowser*>()->document();
    return page->find("Tonegarden").charFormat().foreground().color();
  };

  for (const StageTheme theme : {StageTheme::Dark, StageTheme::Light}) {
    SCOPED_TRACE(StageThemeName(theme));
    TSettingsForm dialog(*program.engine, program.options.outStream, program.options.inStream,
                         messages, program.settings);
    QComboBox* box = dialog.ThemeBox();
    box->setCurrentIndex(box->findText(StageThemeName(theme)));
    dialog.Apply();
    EXPECT_EQ(program.settings.ReadString("0.7/Main Window", "Theme"), StageThemeName(theme));
    EXPECT_EQ(LoadStageTheme(program.settings), theme);
    const StagePalette& colours = StagePalette::Of(theme);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), colours.window);
    EXPECT_EQ(clearCell(), colours.cellOff);
    EXPECT_EQ(heading() == QColor("#9fd4a8"), theme == StageTheme::Dark)
        << heading().name().toStdString();
    // A dialog shown later starts from it.
    TSettingsForm again(*program.engine, program.options.outStream, program.options.inStream,
                        messages, program.settings);
    EXPECT_EQ(again.ThemeBox()->currentText(), StageThemeName(theme));
  }
  program.settings.WriteString("0.7/Main Window", "Theme", "Purple");
  EXPECT_EQ(LoadStageTheme(program.settings), StageTheme::Light);
}

}  // namespace stage_theme_test
}  // namespace tg
