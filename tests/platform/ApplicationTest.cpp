#include "platform/qt/Application.h"
#include "platform/qt/Components.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace korvalen {
namespace {

struct TitleRow {
  const char* name;
  const char* path;
  const char* title;
};

class TitleFromFileNameTest : public ::testing::TestWithParam<TitleRow> {};

TEST_P(TitleFromFileNameTest, Derives) {
  EXPECT_EQ(TitleFromFileName(QString::fromUtf8(GetParam().path)),
            QString::fromUtf8(GetParam().title));
}

INSTANTIATE_TEST_SUITE_P(
    Table, TitleFromFileNameTest,
    ::testing::Values(TitleRow{"Program", "/usr/bin/korvalen-converter", "korvalen-converter"},
                      TitleRow{"UpperCaseWithExtension", "C/VEDEDORU.EXE", "Vededoru"},
                      TitleRow{"MixedCase", "Converter.exe", "Converter"},
                      TitleRow{"CutAtFirstDot", "/opt/a.b/Conv.tar.gz", "Conv"},
                      TitleRow{"DotFirst", "/tmp/.x", ""}, TitleRow{"Empty", "", ""},
                      TitleRow{"DirectoryOnly", "/usr/bin/", ""}, TitleRow{"OneLetter", "q", "q"},
                      TitleRow{"LowerFirstKept", "/usr/bin/converter", "converter"},
                      TitleRow{"UpperFirstKept", "/usr/bin/CONVERTER", "Converter"},
                      TitleRow{"NonAscii", "/x/ÉCRAN-Ärger", "Écran-ärger"},
                      TitleRow{"NonAsciiLowerFirst", "/x/écran", "écran"},
                      TitleRow{"SecondCopy", "/x/Converter2", "Converter2"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ApplicationTest, TitleComesFromTheRunningProgramFile) {
  EXPECT_EQ(Application()->Title(), QStringLiteral("platform_qt_test"));
}

TEST(ApplicationTest, TitleWindowIsNativeUnshownAndCarriesTheTitle) {
  TApplication& application = *Application();
  EXPECT_NE(application.TitleWindowHandle(), WId{0});
  EXPECT_FALSE(application.TitleWindow().isVisible());
  EXPECT_EQ(application.TitleWindow().title(), application.Title());
  application.SetTitleWindowText(QString());
  EXPECT_EQ(application.TitleWindow().title(), QString());
  application.SetTitleWindowText(application.Title());
}

TEST(ApplicationTest, FirstFormIsMainAndRunDestroysTheForms) {
  auto* main = new TForm;
  QPointer<TForm> second = new TForm;
  ASSERT_EQ(Application()->MainForm(), main);
  QPointer<TForm> watched = main;
  bool shownWhenRunning = false;
  QTimer::singleShot(0, main, [&] {
    shownWhenRunning = main->isVisible();
    main->close();
  });
  EXPECT_EQ(Application()->Run(), 0);
  EXPECT_TRUE(shownWhenRunning);
  EXPECT_TRUE(watched.isNull());
  EXPECT_TRUE(second.isNull());
  EXPECT_EQ(Application()->MainForm(), nullptr);
}

TEST(ApplicationTest, TerminateBeforeRunEndsWithoutShowingTheMainForm) {
  TApplication& application = *Application();
  QPointer<TForm> main = new TForm;
  bool shown = false;
  QTimer::singleShot(0, main, [&] { shown = true; });
  application.SetShowMainForm(false);
  application.Terminate();
  EXPECT_EQ(application.Run(), 0);
  application.SetShowMainForm(true);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(main.isNull());
  // The quit request already posted is stale now and ends nothing.
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace korvalen
