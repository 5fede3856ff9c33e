#include <gtest/gtest.h>

#include <QStringList>
#include <fstream>

#include "framework/forms/SaveFileDialog.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace {

// Typing "song" where "song.tgh" exists must ask before replacing it: the
// dialog only asked about the name it was given.
TEST(SaveFileDialogTest, TheFinalNameIsWhatTheUserIsAskedAbout) {
  test::TempDir dir;
  const QString existing = QString::fromStdString(dir / "song.tgh");
  std::ofstream(existing.toStdString()) << "a patch";
  QStringList answers;
  QStringList asked;
  bool replace = false;
  SaveFileDialog dialog("Save", "Tonegarden document (*.tgh)", "tgh");
  dialog.choose = [&](QWidget*, const QString&) {
    return answers.isEmpty() ? QString() : answers.takeFirst();
  };
  dialog.confirmReplace = [&](QWidget*, const QString& name) {
    asked << name;
    return replace;
  };
  const QString typed = QString::fromStdString(dir / "song");

  answers = {typed};  // "No": asked again, then cancelled
  EXPECT_EQ(dialog.Ask(nullptr, {}), QString());
  EXPECT_EQ(asked, QStringList{existing});

  answers = {typed};
  replace = true;
  EXPECT_EQ(dialog.Ask(nullptr, {}), existing);

  asked.clear();
  answers = {existing};  // the dialog asked about this one itself
  EXPECT_EQ(dialog.Ask(nullptr, {}), existing);
  answers = {QString::fromStdString(dir / "new")};
  EXPECT_EQ(dialog.Ask(nullptr, {}), QString::fromStdString(dir / "new.tgh"));
  EXPECT_TRUE(asked.isEmpty());
}

}  // namespace
}  // namespace tg
