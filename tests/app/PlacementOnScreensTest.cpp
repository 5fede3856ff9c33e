// The main window's place on two screens with window frames, declared to the
// offscreen platform; TONEGARDEN_TEST_SCALE runs it at a scale factor of 2.
// Places are stored in device pixels, so every expectation here is in them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/mainwindow/SilentProgram.h"
#include "host/StreamUserMessages.h"
#include "shell/program/WindowPlacement.h"
#include "tests/support/ScriptedQueries.h"

namespace tg {
namespace placement_on_screens_test {

// Device pixels: the main screen and one to its right.
const QRect kMainScreen(0, 0, 1280, 1024);
const QRect kSideScreen(1280, 0, 1920, 1080);

double Scale() { return qEnvironmentVariableIntValue("TONEGARDEN_TEST_SCALE") == 2 ? 2.0 : 1.0; }

QRect ToDevice(const QScreen& screen, const QRect& logical) {
  const QPoint origin = screen.geometry().topLeft();
  const double scale = screen.devicePixelRatio();
  return QRect(origin + (logical.topLeft() - origin) * scale, logical.size() * scale);
}

class PlacementOnScreensTest : public ::testing::Test {
 protected:
  PlacementOnScreensTest() {
    program.options.queries = &queries;
    program.options.messages = &messages;
  }
  ~PlacementOnScreensTest() override { form.reset(); }

  TMainForm& Show() {
    form.reset();
    form = std::make_unique<TMainForm>(*program.engine, program.settings, CommandLine{},
                                       program.options);
    form->show();
    QApplication::processEvents();
    return *form;
  }
  void Store(int left, int top, int width, int height, bool maximized = false) {
    form.reset();  // which stores its own place
    WindowPlacement p;
    p.left = left;
    p.top = top;
    p.width = width;
    p.height = height;
    p.maximized = maximized;
    p.Store(program.settings);
  }
  // The window's frame in device pixels, and the screen it is on.
  QRect Frame() const { return ToDevice(*form->screen(), form->frameGeometry()); }
  QRect Inside() const { return ToDevice(*form->screen(), form->geometry()); }
  std::optional<WindowPlacement> Stored() {
    form.reset();
    return WindowPlacement::Load(program.settings);
  }

  SilentProgram program;
  test::ScriptedQueries queries;
  StreamUserMessages messages{nullptr};
  std::unique_ptr<TMainForm> form;
};

TEST_F(PlacementOnScreensTest, TheScreensAreAsDeclared) {
  ASSERT_EQ(QGuiApplication::screens().size(), 2);
  EXPECT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), Scale());
  Show();
  EXPECT_GT(form->frameGeometry().top(), -1);
  EXPECT_LT(form->frameGeometry().top(), form->geometry().top()) << "windows have frames";
}

// Maximised at the first start; un-maximised, the window sits whole on the
// screen, title bar and all, and that is the place kept.
TEST_F(PlacementOnScreensTest, TheFirstStartComesBackFromMaximisedOntoTheScreen) {
  Show();
  EXPECT_TRUE(form->isMaximized());
  form->showNormal();
  QApplication::processEvents();
  EXPECT_TRUE(kMainScreen.contains(Frame())) << Frame().x() << "," << Frame().y();
  EXPECT_LT(Frame().width(), kMainScreen.width());
  const QRect normal = Frame();
  const auto stored = Stored();
  ASSERT_TRUE(stored);
  EXPECT_EQ(QPoint(stored->left, stored->top), normal.topLeft());

  Show();
  EXPECT_EQ(Frame(), normal) << "the kept place is where it opens again";
}

// A stored place whose title bar is on a screen opens there, fitted to that
// screen; one whose title bar is on none comes onto the main screen.
TEST_F(PlacementOnScreensTest, AStoredPlaceOpensWithItsTitleBarOnAScreen) {
  Store(1480, 100, 800, 600);  // on the side screen
  Show();
  EXPECT_EQ(Frame().topLeft(), QPoint(1480, 100));
  EXPECT_EQ(Inside().size(), QSize(800, 600));

  Store(2500, 500, 1000, 900);  // title bar on the side screen, the rest past it
  Show();
  EXPECT_TRUE(kSideScreen.contains(Frame())) << Frame().x() << "," << Frame().y();
  EXPECT_EQ(Inside().size(), QSize(1000, 900)) << "moved onto it, not shrunk";

  Store(3000, -2000, 4000, 3000);  // larger than any screen, title bar above it
  Show();
  EXPECT_TRUE(kMainScreen.contains(Frame())) << Frame().x() << "," << Frame().y();
  EXPECT_EQ(Frame().size(), kMainScreen.size());

  Store(0, -40, 800, 500);  // the title bar just above the main screen
  Show();
  EXPECT_TRUE(kMainScreen.contains(Frame())) << Frame().x() << "," << Frame().y();
}

}  // namespace placement_on_screens_test
}  // namespace tg

int main(int argc, char** argv) {
  using namespace tg::placement_on_screens_test;
  const int dpi = static_cast<int>(96 * Scale());
  auto screen = [dpi](const char* name, const QRect& r) {
    return QJsonObject{{"name", name},        {"x", r.x()},           {"y", r.y()},
                       {"width", r.width()},  {"height", r.height()}, {"logicalDpi", dpi},
                       {"logicalBaseDpi", 96}};
  };
  const QJsonObject config{
      {"windowFrameMargins", true},
      {"screens", QJsonArray{screen("main", kMainScreen), screen("side", kSideScreen)}}};
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("tonegarden-screens-" + std::to_string(getpid()) + ".json");
  std::ofstream(file) << QJsonDocument(config).toJson().toStdString();
  qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + file.string().c_str());
  int status = 0;
  {
    QApplication app(argc, argv);
    std::filesystem::remove(file);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  return status;
}
