// The whole program in the test's process: start-up, the user's way through
// both windows, shutdown, and start-up errors. Every test builds and ends a
// program of its own (and with it the application object).

#include "engine/ConvUtils.h"
#include "engine/ConvUtils_p.h"
#include "format/FormatResult.h"
#include "platform/instance/NamedLock.h"
#include "platform/qt/Application.h"
#include "platform/qt/ErrorGuard.h"
#include "tests/support/Session.h"
#include "ui/JustOne.h"
#include "ui/Program.h"
#include "ui/UfrmConvert.h"
#include "ui/UfrmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvalen {
namespace {

// The unit types the registry holds now.
int RegisteredTypes() {
  int count = 0;
  for (TConvType type = 1; type != 0 && type <= detail::LastConvType(); ++type) {
    TConvTypeInfo* info = nullptr;
    count += FindTypeInfo(type, info) ? 1 : 0;
  }
  return count;
}

// Closes a window the way the window manager does (the title bar's close,
// Alt+F4): a close event to its native window.
void CloseAsTheDesktopDoes(QWidget& window) {
  QCloseEvent close;
  QCoreApplication::sendEvent(window.windowHandle(), &close);
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A runtime folder of its own, so parallel test processes never meet in
    // the single-instance name; and the offscreen screen for test discovery.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    detail::ResetConvRegistry();
  }

  void TearDown() override { detail::ResetConvRegistry(); }

  // Runs a program whose loop performs steps, one event each, then returns
  // its exit code. Errors the program reports are collected in Reports. A
  // loop still running 20 s after the last step is ended as a failure.
  int RunProgram(std::vector<std::function<void()>> steps, const QString& layout = QString(),
                 const std::function<void(TProgram&)>& beforeRun = {}) {
    TProgram program(FArgc, FArgv);
    if (beforeRun) {
      beforeRun(program);
    }
    const TErrorPresenter previous = SetErrorPresenter(
        [this](const QString& /*title*/, const QString& message) { Reports << message; });
    for (std::size_t i = 0; i < steps.size(); ++i) {
      QTimer::singleShot(static_cast<int>(10 * (i + 1)), &program.Application(), steps[i]);
    }
    QTimer::singleShot(20000, &program.Application(), [&program] {
      ADD_FAILURE() << "the program did not end";
      program.Application().Terminate();
    });
    const int code = program.Run(layout);
    LeftOver = QApplication::topLevelWidgets().size();
    SetErrorPresenter(previous);
    return code;
  }

  QStringList Reports;
  qsizetype LeftOver = -1;

 private:
  test::TPrivateRuntimeDir FRuntimeDir;
  char FName[32] = "korvalen-converter";
  char* FArgv[2] = {FName, nullptr};
  int FArgc = 1;
};

TEST_F(ProgramTest, StartsOnTheWelcomeWindowAndEndsInOrder) {
  std::optional<int> typesWhileShown;
  std::optional<int> typesAsTheWelcomeWindowEnds;
  bool shownCentred = false;
  const int code = RunProgram({[&] {
    ASSERT_NE(frmMain, nullptr);
    EXPECT_EQ(Application()->MainForm(), frmMain);
    EXPECT_TRUE(frmMain->isVisible());
    const QPoint centre = frmMain->screen()->availableGeometry().center();
    shownCentred = (frmMain->geometry().center() - centre).manhattanLength() <= 1;
    typesWhileShown = RegisteredTypes();
    QObject::connect(frmMain, &QObject::destroyed, &Application()->TitleWindow(),
                     [&] { typesAsTheWelcomeWindowEnds = RegisteredTypes(); });
    // Every window shares the program icon, in all its sizes, once it is
    // read on its worker.
    ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::windowIcon().isNull(); }));
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
    EXPECT_EQ(frmMain->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
    frmMain->close();
  }});
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(shownCentred);
  EXPECT_EQ(typesWhileShown, 131);
  // The windows went first, the units after them, the registry last.
  EXPECT_EQ(typesAsTheWelcomeWindowEnds, 131);
  EXPECT_EQ(RegisteredTypes(), 0);
  EXPECT_EQ(frmMain, nullptr);
  EXPECT_EQ(LeftOver, 0);
  EXPECT_TRUE(Reports.isEmpty()) << Reports.join('\n').toStdString();
}

TEST_F(ProgramTest, ClosingTheWelcomeWindowBeforeContinueEndsTheProgram) {
  const int code = RunProgram({[&] {
    ASSERT_NE(frmMain, nullptr);
    CloseAsTheDesktopDoes(*frmMain);
  }});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(frmMain, nullptr);
  EXPECT_EQ(frmConvert, nullptr);
  EXPECT_EQ(LeftOver, 0);
}

TEST_F(ProgramTest, ContinueThenConvertThenCloseEndsTheProgram) {
  QString result;
  QString localized;
  const int code = RunProgram({
      [&] {
        ASSERT_NE(frmMain, nullptr);
        QTest::mouseClick(frmMain->Button1, Qt::LeftButton);
      },
      [&] {
        ASSERT_NE(frmConvert, nullptr);
        EXPECT_TRUE(frmConvert->isVisible());
        EXPECT_FALSE(frmMain->isVisible());
        EXPECT_EQ(Application()->MainForm(), frmMain);
        // The conversion the registry serves while the windows exist.
        TfrmConvert& form = *frmConvert;
        form.cboFamilies->setCurrentIndex(form.cboFamilies->findText(QStringLiteral("Mass")));
        form.cboFamiliesSelect(form.cboFamilies);
        form.list1->SetItemIndex(
            static_cast<int>(form.list1->Items().indexOf(QStringLiteral("Kilograms"))));
        form.list2->SetItemIndex(
            static_cast<int>(form.list2->Items().indexOf(QStringLiteral("Pounds"))));
        form.list2Click(form.list2);
        result = form.eCalc->text();
        // The program follows the user's locale from the next result on.
        const char* const old = std::getenv("LC_ALL");
        const std::optional<std::string> before =
            old ? std::optional<std::string>(old) : std::nullopt;
        setenv("LC_ALL", "de_DE.UTF-8", 1);
        QCoreApplication::postEvent(Application(), new QEvent(QEvent::LocaleChange));
        QCoreApplication::processEvents();
        EXPECT_EQ(DecimalSeparator(), ',');
        EXPECT_EQ(form.eCalc->text(), result);
        form.list2->SetItemIndex(
            static_cast<int>(form.list2->Items().indexOf(QStringLiteral("Ounces"))));
        form.list2Click(form.list2);
        localized = form.eCalc->text();
        if (before) {
          setenv("LC_ALL", before->c_str(), 1);
        } else {
          unsetenv("LC_ALL");
        }
        QCoreApplication::postEvent(Application(), new QEvent(QEvent::LocaleChange));
        QCoreApplication::processEvents();
        EXPECT_EQ(DecimalSeparator(), '.');
      },
      [&] {
        ASSERT_NE(frmConvert, nullptr);
        CloseAsTheDesktopDoes(*frmConvert);
      },
  });
  EXPECT_EQ(result, QStringLiteral("2.20"));
  EXPECT_EQ(localized, QStringLiteral("35,27"));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(frmConvert, nullptr);
  EXPECT_EQ(frmMain, nullptr);
  EXPECT_EQ(LeftOver, 0);
  EXPECT_EQ(RegisteredTypes(), 0);
  EXPECT_TRUE(Reports.isEmpty()) << Reports.join('\n').toStdString();
}

// Counts the welcome windows shown while it exists.
class TShowCounter : public QObject {
 public:
  TShowCounter() { QApplication::instance()->installEventFilter(this); }
  int Shown = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && qobject_cast<TfrmMain*>(watched) != nullptr) {
      ++Shown;
    }
    return false;
  }
};

TEST_F(ProgramTest, ALaterInstanceShowsNoWindowAndEnds) {
  TNamedLockResult earlier;
  QStringList activated;
  bool iconAtTheCheck = true;
  const TActivatePrevious previous =
      TXJustOne::SetActivatePrevious([&](const QString& title, const TNamedLock&) {
        activated << title;
        // The icon comes with the first window shown; a later instance,
        // which shows none, has not decoded it.
        iconAtTheCheck = !QApplication::windowIcon().isNull();
      });
  std::unique_ptr<TShowCounter> counter;
  QString title;
  bool ran = false;
  const int code = RunProgram({[&] { ran = true; }}, QString(), [&](TProgram& program) {
    title = program.Application().Title();
    earlier = CreateNamedLock(SessionLockName(title.toStdString()));
    ASSERT_TRUE(earlier.Handle.IsOpen());
    ASSERT_FALSE(earlier.AlreadyExists);
    counter = std::make_unique<TShowCounter>();
  });
  const int shown = counter->Shown;
  counter.reset();
  TXJustOne::SetActivatePrevious(previous);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(shown, 0);
  EXPECT_FALSE(ran) << "the message loop ran";
  EXPECT_EQ(activated, QStringList{title});
  EXPECT_FALSE(iconAtTheCheck);
  EXPECT_EQ(frmMain, nullptr);
  EXPECT_EQ(LeftOver, 0);
  EXPECT_EQ(RegisteredTypes(), 0);
  EXPECT_TRUE(Reports.isEmpty()) << Reports.join('\n').toStdString();
}

// A program that cannot build its welcome window reports why and ends with
// a non-zero exit code; no window ever shows and nothing stays registered.
TEST_F(ProgramTest, StartUpErrorsAreReportedAndEndTheProgram) {
  QTemporaryDir dir;
  const auto write = [&](const char* name, const QByteArray& text) {
    const QString path = dir.filePath(QLatin1String(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
  };
  // The stored layout, with one text replaced.
  const auto storedWith = [&](const char* name, const QByteArray& from, const QByteArray& to) {
    QFile stored(QStringLiteral(":/layouts/frmMain.json"));
    EXPECT_TRUE(stored.open(QIODevice::ReadOnly));
    QByteArray text = stored.readAll();
    EXPECT_TRUE(text.contains(from));
    return write(name, text.replace(from, to));
  };

  const struct {
    const char* name;
    std::function<QString()> layout;
    std::string message;  // the start of the reported message
  } rows[] = {
      {"missing layout", [&] { return dir.filePath(QStringLiteral("none.json")); },
       "Cannot read layout "},
      {"malformed layout", [&] { return write("bad.json", "{ \"class\": "); }, ""},
      {"corrupt picture",
       [&] {
         const QString picture = write("welcome.jpg", QByteArray("\xFF\xD8\xFF\xE0 broken", 10));
         return storedWith("picture.json", "\":/images/welcome.jpg\"",
                           '"' + picture.toUtf8() + '"');
       },
       "Cannot read picture "},
      {"two markers",
       [&] {
         return storedWith("winxp.json", R"("name": "WinXP1")",
                           R"("name": "WinXP1" }, { "class": "TWinXP", "name": "WinXP2")");
       },
       "Only one instance of TWinXP allowed on form"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Reports.clear();
    bool ran = false;
    detail::ResetConvRegistry();
    const int code = RunProgram({[&] { ran = true; }}, row.layout());
    EXPECT_NE(code, 0);
    ASSERT_EQ(Reports.size(), 1);
    const std::string reported = Reports.first().toStdString();
    EXPECT_EQ(reported.substr(0, row.message.size()), row.message) << reported;
    if (row.message.empty()) {
      EXPECT_NE(reported.find("malformed layout"), std::string::npos) << reported;
    }
    EXPECT_FALSE(ran) << "the message loop ran";
    EXPECT_EQ(frmMain, nullptr);
    EXPECT_EQ(LeftOver, 0);
    EXPECT_EQ(RegisteredTypes(), 0);
  }
}

}  // namespace
}  // namespace korvalen
