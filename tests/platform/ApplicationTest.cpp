#include "platform/qt/Application.h"
#include "platform/qt/Components.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/Exceptions.h"

#include <QCoreApplication>
#include <QEventLoop>
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

// Counts the Show events of the objects it watches.
class TShowCounter : public QObject {
 public:
  int Shown = 0;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    Shown += event->type() == QEvent::Show ? 1 : 0;
    return false;
  }
};

TEST(ApplicationTest, FirstFormIsMainAndRunDestroysTheForms) {
  auto* main = new TForm;
  QPointer<TForm> second = new TForm;
  QPointer<TForm> third = new TForm;
  ASSERT_EQ(Application()->MainForm(), main);
  QStringList destroyed;
  main->setObjectName(QStringLiteral("main"));
  second->setObjectName(QStringLiteral("second"));
  third->setObjectName(QStringLiteral("third"));
  for (TForm* form : {main, second.data(), third.data()}) {
    QObject::connect(form, &QObject::destroyed, &Application()->TitleWindow(),
                     [&destroyed, name = form->objectName()] { destroyed << name; });
  }
  // Ending one form may end another that the shutdown has yet to reach.
  QObject::connect(second, &QObject::destroyed, &Application()->TitleWindow(),
                   [third] { delete third.data(); });
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
  EXPECT_TRUE(third.isNull());
  EXPECT_EQ(destroyed.value(0), QStringLiteral("main"));
  EXPECT_EQ(destroyed.size(), 3);
  EXPECT_EQ(Application()->MainForm(), nullptr);
}

// A form whose construction fails after the form itself was made.
class TFailingForm : public TForm {
 public:
  TFailingForm() { throw Exception("cannot build"); }
};

TEST(ApplicationTest, AMainFormEndedElsewhereIsLetGoNotDestroyedTwice) {
  QPointer<TForm> main = new TForm;
  ASSERT_EQ(Application()->MainForm(), main.data());
  delete main.data();
  EXPECT_EQ(Application()->MainForm(), nullptr);
  EXPECT_THROW(new TFailingForm, Exception);
  EXPECT_EQ(Application()->MainForm(), nullptr);
  // The next form is the main form, and Run ends it.
  main = new TForm;
  EXPECT_EQ(Application()->MainForm(), main.data());
  Application()->SetShowMainForm(false);
  Application()->Terminate();
  EXPECT_EQ(Application()->Run(), 0);
  Application()->SetShowMainForm(true);
  EXPECT_TRUE(main.isNull());
}

TEST(ApplicationTest, TerminateBeforeRunEndsWithoutShowingTheMainForm) {
  TApplication& application = *Application();
  for (const bool showMainForm : {false, true}) {
    SCOPED_TRACE(showMainForm);
    QPointer<TForm> main = new TForm;
    TShowCounter shows;
    main->installEventFilter(&shows);
    bool looped = false;
    QTimer::singleShot(0, main, [&] { looped = true; });
    application.SetShowMainForm(showMainForm);
    application.Terminate();
    EXPECT_EQ(application.Run(), 0);
    application.SetShowMainForm(true);
    EXPECT_EQ(shows.Shown, 0);
    EXPECT_FALSE(looped);
    EXPECT_TRUE(main.isNull());
    // The quit request already posted is stale now and ends nothing.
    QCoreApplication::processEvents();
  }
}

// A program that finds it cannot start reports why and then asks to quit
// with exit code 1: the loop never runs, yet the box is shown before Run
// returns, standard error has exactly one line and the code stays 1.
TEST(ApplicationTest, AReportMadeWhileQuittingIsShownBeforeRunReturns) {
  TApplication& application = *Application();
  QPointer<TForm> main = new TForm;
  QStringList shown;
  const TErrorPresenter previous = SetErrorPresenter([&](const QString&, const QString& message) {
    shown << message;
    // A message box runs a loop of its own, which meets the quit request.
    QEventLoop box;
    QTimer::singleShot(10, &box, &QEventLoop::quit);
    box.exec();
  });
  application.SetShowMainForm(false);
  ::testing::internal::CaptureStderr();
  ReportError(QStringLiteral("the single-instance name cannot be created"));
  application.Terminate(1);
  const bool shownBeforeRun = !shown.isEmpty();
  const int code = application.Run();
  const std::string written = ::testing::internal::GetCapturedStderr();
  application.SetShowMainForm(true);
  SetErrorPresenter(previous);
  EXPECT_FALSE(shownBeforeRun);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(shown, QStringList{QStringLiteral("the single-instance name cannot be created")});
  EXPECT_EQ(written, "platform_qt_test: the single-instance name cannot be created\n");
  EXPECT_TRUE(main.isNull());
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace korvalen
