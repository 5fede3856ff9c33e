#include <gtest/gtest.h>

#include <QStringList>
#include <fstream>

#include "files/SoundFilePaths.h"
#include "forms/SaveFileDialog.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace save_file_dialog_test {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Typing "take" where "take.wav" exists asks about take.wav; "No" shows the
// dialog again, starting at that name.
TEST(SaveFileDialogTest, TheSuffixComesBeforeTheQuestionAboutReplacing) {
  EXPECT_EQ(SaveFileDialog::WithSuffix("/music/take", "wav"), "/music/take.wav");
  EXPECT_EQ(SaveFileDialog::WithSuffix("/music.d/take", "wav"), "/music.d/take.wav");
  EXPECT_EQ(SaveFileDialog::WithSuffix("take.", "wav"), "take.wav");
  EXPECT_EQ(SaveFileDialog::WithSuffix("take.WAV", "wav"), "take.WAV");
  EXPECT_EQ(SaveFileDialog::WithSuffix("", "wav"), "");

  test::TempDir dir;
  std::ofstream(dir / "take.wav") << "a take";
  QStringList answers, starts, asked;
  bool replace = false;
  SaveFileDialog dialog("Save Soundfile as...", "Wave file (*.wav)", "wav");
  dialog.choose = [&](QWidget*, const QString& start) {
    starts << start;
    return answers.isEmpty() ? QString() : answers.takeFirst();
  };
  dialog.confirmReplace = [&](QWidget*, const QString& name) {
    asked << name;
    return replace;
  };

  answers = {Q(dir / "take"), Q(dir / "other")};
  EXPECT_EQ(dialog.Ask(nullptr, Q(dir / "Untitled.wav")), Q(dir / "other.wav"));
  EXPECT_EQ(asked, QStringList{Q(dir / "take.wav")});
  EXPECT_EQ(starts, (QStringList{Q(dir / "Untitled.wav"), Q(dir / "take.wav")}));

  replace = true;
  answers = {Q(dir / "take")};
  EXPECT_EQ(dialog.Ask(nullptr, {}), Q(dir / "take.wav"));
  answers = {};
  EXPECT_EQ(dialog.Ask(nullptr, {}), QString());  // cancelled
}

TEST(SaveFileDialogTest, TheDialogNeverStartsOnAPseudoFileSystem) {
  QString start;
  SaveFileDialog dialog("Save", "Tonegarden document (*.tgh)", "tgh");
  dialog.choose = [&](QWidget*, const QString& s) {
    start = s;
    return QString();
  };
  dialog.Ask(nullptr, "/proc/kmsg/take.wav");
  EXPECT_FALSE(IsOnPseudoFileSystem(start.toStdString())) << start.toStdString();
  EXPECT_TRUE(start.endsWith("/take.wav")) << start.toStdString();
}

}  // namespace save_file_dialog_test
}  // namespace tg
