#include "platform/activation/ActivationBus.h"
#include "platform/instance/NamedLock.h"
#include "platform/qt/Application.h"
#include "platform/qt/Components.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/LayoutLoader.h"
#include "tests/platform/QtTestMain.h"
#include "tests/support/Session.h"
#include "ui/JustOne.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace korvalen {

class TfrmGuardProbe : public TForm {
  Q_OBJECT

 public:
  TfrmGuardProbe() = default;
};

// Placed after the guard in a layout: its setter runs once the guard's
// stored properties are written, its Loaded() once the guard's has run.
class TNameWatcher : public TComponent {
  Q_OBJECT
  Q_PROPERTY(QString lockPath READ LockPath WRITE SetLockPath)

 public:
  explicit TNameWatcher(QObject* owner) : TComponent(owner) {}
  QString LockPath() const { return FLockPath; }
  void SetLockPath(const QString& path);
  void Loaded() override;

  std::vector<bool> FTakenSeen;

 private:
  QString FLockPath;
};

namespace {

// Whether another process finds the name taken: flock(1) exits 3 then. A
// lock file that was never made is a name nobody has taken.
bool TakenForOthers(const QString& lockPath) {
  if (!QFile::exists(lockPath)) {
    return false;
  }
  const int code = QProcess::execute(
      QStringLiteral("flock"), {QStringLiteral("-n"), QStringLiteral("-E"), QStringLiteral("3"),
                                lockPath, QStringLiteral("true")});
  EXPECT_TRUE(code == 0 || code == 3) << "flock exited " << code;
  return code == 3;
}

}  // namespace

void TNameWatcher::SetLockPath(const QString& path) {
  FLockPath = path;
  FTakenSeen.push_back(TakenForOthers(path));
}

void TNameWatcher::Loaded() {
  FTakenSeen.push_back(TakenForOthers(FLockPath));
}

namespace {

// A private session bus for the whole binary, set before anything connects:
// the earlier instance's side serves on it, and no test reaches (or
// autolaunches) a bus of the machine's.
class TPrivateBusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { FBus.emplace(); }
  void TearDown() override { FBus.reset(); }

 private:
  std::optional<test::TPrivateSessionBus> FBus;
};
const ::testing::Environment* const GBus =
    ::testing::AddGlobalTestEnvironment(new TPrivateBusEnvironment);

// Records whether a form was ever shown while it lives.
class TShowWatcher : public QObject {
 public:
  explicit TShowWatcher(QWidget& form) { form.installEventFilter(this); }
  bool FShown = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    FShown = FShown || event->type() == QEvent::Show;
    return false;
  }
};

class JustOneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterJustOne();
    RegisterClass<TNameWatcher>(QStringLiteral("TNameWatcher"));
  }

  void SetUp() override {
    // A private runtime folder per test (FRuntime): no test meets a real
    // program's name or another test's. An X11 session unless a test says
    // otherwise.
    ASSERT_FALSE(FRuntime.Path().empty());
    FPreviousActivate =
        TXJustOne::SetActivatePrevious([this](const QString& title, const TNamedLock&) {
          FLog.push_back("activate " + title.toStdString() + " own title window \"" +
                         Application()->TitleWindow().title().toStdString() + "\"");
        });
    FForm = new TfrmGuardProbe;
    FForm->setObjectName(QStringLiteral("frmGuardProbe"));
  }

  void TearDown() override {
    TApplication& application = *Application();
    delete FForm.data();
    // Leaves the application as a fresh one: not terminated, showing its
    // main form, carrying its title.
    if (application.Terminated()) {
      application.Run();
      QCoreApplication::processEvents();
    }
    application.SetShowMainForm(true);
    application.SetTitleWindowText(application.Title());
    TXJustOne::SetActivatePrevious(FPreviousActivate);
  }

  static std::string Title() { return Application()->Title().toStdString(); }
  // The name the guard claims: the title within this graphical session.
  static std::string LockName() { return SessionLockName(Title()); }

  QString LockPath() const {
    return QString::fromStdString(FRuntime.Path().string() + "/korvalen/" +
                                  LockFileName(LockName()));
  }

  // A guard made in code; the end of loading is still to come.
  TXJustOne& NewGuard() {
    auto* guard = new TXJustOne(FForm);
    guard->SetAlreadyExist([this, guard](QObject* sender) {
      FLog.push_back(std::string("AlreadyExist") + (sender == guard ? "" : " wrong sender"));
    });
    return *guard;
  }

  void LoadLayout(const QString& guardProperties) {
    const QString path = FLayoutDir.filePath(QStringLiteral("frmGuardProbe.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral(R"({ "class": "TfrmGuardProbe", "name": "frmGuardProbe",
        "components": [
          { "class": "TXJustOne", "name": "XJustOne1", "properties": { %1 } },
          { "class": "TNameWatcher", "name": "Watcher1", "properties": { "lockPath": "%2" } } ] })")
                   .arg(guardProperties, LockPath())
                   .toUtf8());
    file.close();
    korvalen::LoadLayout(*FForm, path);
  }

  TNameWatcher& Watcher() const {
    return FindComponent<TNameWatcher>(*FForm, QStringLiteral("Watcher1"));
  }

  // Runs the application as the program does and reports whether its main
  // form was shown and the code it ended with.
  struct TRunResult {
    bool Shown;
    int Code;
  };
  TRunResult RunApplication() {
    TApplication& application = *Application();
    // Sees a show whether or not the loop runs: a later instance's loop never
    // does, so a check made from inside it could not fail.
    TShowWatcher shows(*FForm);
    QTimer::singleShot(0, FForm, [&] { application.Terminate(); });
    const int code = application.Run();
    QCoreApplication::processEvents();
    return {shows.FShown, code};
  }

  test::TPrivateRuntimeDir FRuntime;
  test::TScopedEnv FNoWayland{"WAYLAND_DISPLAY", std::nullopt};
  QTemporaryDir FLayoutDir;
  TActivatePrevious FPreviousActivate;
  QPointer<TfrmGuardProbe> FForm;
  std::vector<std::string> FLog;
};

TEST_F(JustOneTest, StoredEnabledRunsNoCheckUntilLoadingEnds) {
  LoadLayout(QStringLiteral(R"("SwitchToPrevious": true, "Enabled": true)"));
  const TXJustOne& guard = FindComponent<TXJustOne>(*FForm, QStringLiteral("XJustOne1"));
  EXPECT_TRUE(guard.SwitchToPrevious());
  EXPECT_TRUE(guard.Enabled());
  EXPECT_FALSE(guard.AlreadyExist());
  // Free while the layout was read, taken once the guard's Loaded() ran.
  EXPECT_EQ(Watcher().FTakenSeen, (std::vector<bool>{false, true}));
  EXPECT_FALSE(Application()->Terminated());
  EXPECT_EQ(Application()->TitleWindow().title(), Application()->Title());
  const TRunResult run = RunApplication();
  EXPECT_TRUE(run.Shown);
  EXPECT_EQ(run.Code, 0);
  // The window, and the guard with it, went at the end of the run.
  EXPECT_FALSE(TakenForOthers(LockPath()));
}

TEST_F(JustOneTest, StoredEnabledFalseClaimsNothing) {
  LoadLayout(QStringLiteral(R"("SwitchToPrevious": true, "Enabled": false)"));
  EXPECT_EQ(Watcher().FTakenSeen, (std::vector<bool>{false, false}));
  EXPECT_FALSE(Application()->Terminated());
}

TEST_F(JustOneTest, AnAssignedAlreadyExistFromALayoutIsRefused) {
  EXPECT_THROW(LoadLayout(QStringLiteral(R"("AlreadyExist": "FormAlreadyExist")")), Exception);
}

struct DetectionRow {
  const char* name;
  bool switchToPrevious;
  bool assigned;
  std::vector<std::string> log;
  bool titleBlanked;
  friend void PrintTo(const DetectionRow& row, std::ostream* out) { *out << row.name; }
};

class JustOneDetectionTest : public JustOneTest,
                             public ::testing::WithParamInterface<DetectionRow> {};

TEST_P(JustOneDetectionTest, LaterInstanceEndsWithoutShowingItsWindow) {
  const DetectionRow& row = GetParam();
  TNamedLockResult earlier = CreateNamedLock(LockName());
  ASSERT_TRUE(earlier.Handle.IsOpen());
  ASSERT_FALSE(earlier.AlreadyExists);

  TXJustOne& guard = NewGuard();
  guard.SetSwitchToPrevious(row.switchToPrevious);
  if (!row.assigned) {
    guard.SetAlreadyExist({});
  }
  guard.Loaded();

  std::vector<std::string> expected = row.log;
  for (std::string& line : expected) {
    if (line == "activate") {
      line = "activate " + Title() + " own title window \"\"";
    }
  }
  EXPECT_EQ(FLog, expected);
  EXPECT_EQ(Application()->TitleWindow().title().isEmpty(), row.titleBlanked);
  EXPECT_FALSE(Application()->ShowMainForm());
  EXPECT_TRUE(Application()->Terminated());
  const TRunResult run = RunApplication();
  EXPECT_FALSE(run.Shown);
  EXPECT_EQ(run.Code, 0);
  // The earlier instance keeps its claim throughout.
  earlier.Handle.Release();
  EXPECT_FALSE(TakenForOthers(LockPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, JustOneDetectionTest,
    ::testing::Values(
        DetectionRow{"SwitchAndNotify", true, true, {"AlreadyExist", "activate"}, true},
        DetectionRow{"SwitchUnassigned", true, false, {"activate"}, true},
        DetectionRow{"SilentButNotified", false, true, {"AlreadyExist"}, false},
        DetectionRow{"Silent", false, false, {}, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(JustOneTest, WithoutX11NothingIsReachedAndTheLaterInstanceStillEnds) {
  TXJustOne::SetActivatePrevious({});
  TNamedLockResult earlier = CreateNamedLock(LockName());
  NewGuard().Loaded();
  EXPECT_EQ(FLog, (std::vector<std::string>{"AlreadyExist"}));
  const TRunResult run = RunApplication();
  EXPECT_FALSE(run.Shown);
  EXPECT_EQ(run.Code, 0);
}

TEST_F(JustOneTest, EnabledFalseReleasesAndTrueAgainRepeatsTheCheck) {
  TXJustOne& guard = NewGuard();
  guard.SetEnabled(true);  // no change: no check
  EXPECT_FALSE(TakenForOthers(LockPath()));
  guard.Loaded();
  EXPECT_TRUE(TakenForOthers(LockPath()));

  guard.SetEnabled(false);
  EXPECT_FALSE(TakenForOthers(LockPath()));
  guard.SetEnabled(false);  // no change: nothing to release, nothing claimed
  EXPECT_FALSE(TakenForOthers(LockPath()));
  EXPECT_TRUE(FLog.empty());
  EXPECT_FALSE(Application()->Terminated());

  // Another instance takes the name meanwhile.
  TNamedLockResult other = CreateNamedLock(LockName());
  ASSERT_FALSE(other.AlreadyExists);
  guard.SetEnabled(true);
  EXPECT_EQ(FLog, (std::vector<std::string>{"AlreadyExist",
                                            "activate " + Title() + " own title window \"\""}));
  EXPECT_TRUE(Application()->Terminated());
  EXPECT_FALSE(Application()->ShowMainForm());
}

TEST_F(JustOneTest, ASecondReleaseClosesNothing) {
  TXJustOne& guard = NewGuard();
  guard.Loaded();
  guard.SetEnabled(false);
  // Likely given the descriptor the guard just closed: a second close
  // would end this claim.
  TNamedLockResult mine = CreateNamedLock(LockName());
  ASSERT_FALSE(mine.AlreadyExists);
  delete &guard;
  EXPECT_TRUE(TakenForOthers(LockPath()));
}

TEST_F(JustOneTest, DestroyingTheWindowReleasesTheClaim) {
  NewGuard().Loaded();
  EXPECT_TRUE(TakenForOthers(LockPath()));
  delete FForm.data();
  EXPECT_FALSE(TakenForOthers(LockPath()));
}

// The lock file's unique name, once the earlier instance has connected.
QString ServedName(const QString& lockPath) {
  QString name;
  for (int i = 0; i < 200 && name.isEmpty(); ++i) {
    QCoreApplication::processEvents();
    QFile file(lockPath);
    if (file.open(QIODevice::ReadOnly)) {
      name = UniqueNameFromContent(file.readAll().toStdString());
    }
    if (name.isEmpty()) {
      QThread::msleep(10);
    }
  }
  return name;
}

// A Wayland display names the session: only there does the earlier instance
// serve on the bus.
TEST_F(JustOneTest, InAWaylandSessionTheEarlierInstanceIsActivatedOverTheBusUntilItLetsGo) {
  const test::TScopedEnv wayland("WAYLAND_DISPLAY", "wayland-test");
  TXJustOne& guard = NewGuard();
  guard.Loaded();
  const QString name = ServedName(LockPath());
  ASSERT_FALSE(name.isEmpty()) << "no unique name in " << qPrintable(LockPath());
  const auto content = [&] { return name.toStdString() + "\n"; };

  FForm->resize(200, 100);
  FForm->show();
  FForm->setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  ASSERT_TRUE(FForm->isMinimized());
  EXPECT_EQ(ActivateOverBus(content, QStringLiteral("token-1"), std::chrono::seconds(2)),
            QString());
  QCoreApplication::processEvents();
  EXPECT_FALSE(FForm->isMinimized());
  EXPECT_TRUE(FForm->isVisible());
  EXPECT_EQ(QGuiApplication::focusWindow(), FForm->windowHandle());
  // Handed to the platform and gone again: nothing started later inherits it.
  EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));

  // Given up with the claim.
  guard.SetEnabled(false);
  EXPECT_NE(ActivateOverBus(content, QString(), std::chrono::seconds(2)), QString());
}

// Nothing passes between instances of an X11 session: the lock file stays
// empty and the application object is not on the bus, whether the first
// instance shows a window or not.
TEST_F(JustOneTest, OnAnX11SessionTheEarlierInstanceServesNothing) {
  TXJustOne& guard = NewGuard();
  guard.Loaded();
  ASSERT_TRUE(TakenForOthers(LockPath()));
  FForm->resize(200, 100);
  FForm->show();
  // Past the point where a served instance has written its name.
  QTimer::singleShot(1500, FForm, [] { QCoreApplication::exit(); });
  QCoreApplication::exec();
  QFile lock(LockPath());
  ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
  EXPECT_EQ(lock.readAll(), QByteArray());
  const QDBusMessage call = QDBusMessage::createMethodCall(
      QDBusConnection::sessionBus().baseService(), QLatin1String(kApplicationObjectPath),
      QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
  EXPECT_FALSE(reply.arguments().value(0).toString().contains(QLatin1String(kApplicationInterface)))
      << qPrintable(reply.arguments().value(0).toString());
}

// AlreadyExist is the program's code, called from Qt's property write: its
// error is reported, and the later instance still ends unseen.
TEST_F(JustOneTest, AnAlreadyExistErrorFromTheEnabledSetterIsReportedAndTheInstanceStillEnds) {
  TXJustOne& guard = NewGuard();
  guard.SetEnabled(false);
  guard.SetAlreadyExist([](QObject*) { throw Exception("handler failed"); });
  TNamedLockResult earlier = CreateNamedLock(LockName());
  ASSERT_FALSE(earlier.AlreadyExists);
  test::TReportRecorder reports;
  EXPECT_TRUE(guard.setProperty("Enabled", true));
  EXPECT_EQ(reports.Messages(), QStringList{QStringLiteral("handler failed")});
  EXPECT_EQ(FLog, (std::vector<std::string>{"activate " + Title() + " own title window \"\""}));
  EXPECT_TRUE(Application()->Terminated());
  const TRunResult run = RunApplication();
  EXPECT_FALSE(run.Shown);
  EXPECT_EQ(run.Code, 0);
}

TEST_F(JustOneTest, ANameThatCannotBeCreatedStopsTheStartAndSaysWhy) {
  const test::TScopedEnv noRuntime("XDG_RUNTIME_DIR", "");
  const test::TScopedEnv noTemp("TMPDIR", "/nonexistent/korvalen-test");
  TXJustOne& guard = NewGuard();
  QStringList shown;
  const TErrorPresenter previous = SetErrorPresenter(
      [&](const QString& title, const QString& message) { shown << title << message; });
  ::testing::internal::CaptureStderr();
  guard.Loaded();
  const std::string error = ::testing::internal::GetCapturedStderr();
  const std::string reason = Title() +
                             " does not start: its single-instance name cannot be created "
                             "(/nonexistent/korvalen-test/korvalen-" +
                             std::to_string(::geteuid()) + ": No such file or directory)";
  // One line on standard error at once; the message box opens once the
  // event is over, before the program ends.
  EXPECT_EQ(error, Title() + ": " + reason + "\n");
  EXPECT_TRUE(shown.isEmpty());
  // Still taken for an earlier instance, as far as the user sees.
  EXPECT_EQ(FLog, (std::vector<std::string>{"AlreadyExist",
                                            "activate " + Title() + " own title window \"\""}));
  const TRunResult run = RunApplication();
  SetErrorPresenter(previous);
  EXPECT_EQ(shown, (QStringList{Application()->Title(), QString::fromStdString(reason)}));
  EXPECT_FALSE(run.Shown);
  EXPECT_EQ(run.Code, 1);
}

}  // namespace
}  // namespace korvalen

#include "JustOneTest.moc"
