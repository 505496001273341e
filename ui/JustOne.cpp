#include "ui/JustOne.h"

#include "platform/activation/ActivationBus.h"
#include "platform/activation/WaylandActivation.h"
#include "platform/instance/InstanceWindow.h"
#include "platform/qt/Application.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/LayoutLoader.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

namespace korvalen {
namespace {

// The exit code of a program that could not create its name and so, for
// safety, does not start.
constexpr int ExitNameUnavailable = 1;

// How long a later instance waits for the earlier one's bus name, and then
// for its answer.
constexpr std::chrono::milliseconds kBusWait{2000};
// A compositor answers a token request at once, or not at all.
constexpr std::chrono::milliseconds kTokenWait{500};
// When an earlier instance that shows no window serves its bus name: well
// inside a later one's wait for it.
constexpr std::chrono::milliseconds ServiceWait{1000};

// A Wayland display is named for the session, also for a program that runs
// on Xwayland there. Only such a session reaches the earlier instance over
// the session bus: on X11 alone nothing passes between instances, and a
// window that is not found is simply not activated.
bool InWaylandSession() {
  return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// On X11 the earlier instance's windows are searched and activated on the
// display (it is sent nothing). Returns whether a window carrying the title
// was there, activated or not.
bool ActivateOnX11(const QString& title) {
  const TApplication& application = *Application();
  const auto own = static_cast<TXWindow>(application.TitleWindowHandle());
  TWindowClass ownClass;
  // Our own title window was blanked on this same connection, so the
  // search can no longer meet it.
  return ReadWindowClass(application.X11(), own, ownClass) &&
         FindAndActivate(application.X11(), title.toStdString(), ownClass) !=
             TFindResult::NoTitleWindow;
}

// The launcher's token for this start, forwarded rather than left behind in
// our environment; without one, a token of our own from the compositor.
QString TakeActivationToken() {
  QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
  qunsetenv("XDG_ACTIVATION_TOKEN");
  if (token.isEmpty()) {
    token = QString::fromStdString(
        RequestActivationToken(QGuiApplication::desktopFileName().toStdString(), kTokenWait));
  }
  return token;
}

// In a Wayland session, where windows cannot be searched (a native client,
// or an Xwayland one whose earlier instance is native), the earlier instance
// is asked over the session bus. An offscreen or other backend has no
// windows to bring forward.
void ActivatePreviousInstance(const QString& title, const TNamedLock& lock) {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb") && ActivateOnX11(title)) {
    return;
  }
  if (!InWaylandSession() ||
      (platform != QLatin1String("xcb") && platform != QLatin1String("wayland")) ||
      lock.Path().empty()) {
    return;
  }
  const QString why =
      ActivateOverBus([&lock] { return lock.ReadContent(); }, TakeActivationToken(), kBusWait);
  if (!why.isEmpty()) {
    std::fprintf(stderr, "%s: the running instance was not brought forward: %s\n",
                 qUtf8Printable(title), qUtf8Printable(why));
    std::fflush(stderr);
  }
}

// The window an Activate call brings forward: a message box the user has not
// answered yet, else the shown window (the welcome window, or the conversion
// window once it exists; the other one is hidden then).
QWidget* ShownWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) {
    return modal;
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = widget->windowType();
    if (widget->isVisible() && (type == Qt::Window || type == Qt::Dialog)) {
      return widget;
    }
  }
  return nullptr;
}

void ActivateShownWindow(const QString& activationToken) {
  QWidget* window = ShownWindow();
  if (window == nullptr) {
    return;
  }
  if (window->isMinimized()) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  }
  window->raise();
  QWindow* handle = window->windowHandle();
  if (handle == nullptr) {
    return;
  }
  // Qt's Wayland plugin reads the token from here in requestActivate; no
  // other platform reads it, and no program started later may inherit it.
  if (!activationToken.isEmpty()) {
    qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
  }
  handle->requestActivate();
  qunsetenv("XDG_ACTIVATION_TOKEN");
}

TActivatePrevious& ActivatePrevious() {
  static TActivatePrevious activate = ActivatePreviousInstance;
  return activate;
}

}  // namespace

TXJustOne::TXJustOne(QObject* owner) : TComponent(owner) {}

TXJustOne::~TXJustOne() {
  ReleaseInstance();
}

void TXJustOne::SetEnabled(bool value) {
  if (value == FEnabled) {
    return;
  }
  FEnabled = value;
  // Qt's property write calls this, and the check calls AlreadyExist, code
  // of the program's: its error must not unwind through Qt.
  RunPropertySetter([&] {
    if (value) {
      ClaimInstance();
    } else {
      ReleaseInstance();
    }
  });
}

void TXJustOne::Loaded() {
  TComponent::Loaded();
  if (FEnabled) {
    ClaimInstance();
  }
}

TActivatePrevious TXJustOne::SetActivatePrevious(TActivatePrevious activate) {
  TActivatePrevious previous = std::move(ActivatePrevious());
  ActivatePrevious() = activate ? std::move(activate) : TActivatePrevious(ActivatePreviousInstance);
  return previous;
}

void TXJustOne::ClaimInstance() {
  TApplication& application = *Application();
  // An empty title gives an unnamed object, which no other instance can
  // find: no guard, as intended for a program file without a name.
  const QString title = application.Title();
  FMutexHeld = false;
  TNamedLockResult claim = CreateNamedLock(SessionLockName(title.toStdString()));
  FMutex = std::move(claim.Handle);
  const bool created = FMutex.IsOpen();
  // An error of AlreadyExist is raised once this instance is on its way
  // out: skipping the rest would leave two instances running.
  std::exception_ptr handlerError;
  if (claim.AlreadyExists || !created) {
    if (FAlreadyExist) {
      try {
        FAlreadyExist(this);
      } catch (...) {
        handlerError = std::current_exception();
      }
    }
    if (FSwitchToPrevious) {
      application.SetTitleWindowText(QString());
      ActivatePrevious()(title, FMutex);
    }
    application.SetShowMainForm(false);
    if (created) {
      // On X11 the launch feedback waits for a window of ours; none will
      // map. Elsewhere there is no X connection, and on Wayland the earlier
      // instance has used the token.
      EndStartupSequence(application.X11(), LaunchStartupId());
      application.Terminate();
    } else {
      // Not starting is the safe choice, but quietly ending as if another
      // instance ran would leave the user guessing, and one started from a
      // menu reads no standard error: the error reporter shows the reason.
      RunGuarded([&] {
        throw Exception(Format(res::SInstanceNameUnavailable, {title.toStdString(), claim.Error}));
      });
      application.Terminate(ExitNameUnavailable);
    }
  } else if (FMutex.OwnsClaim() && !FMutex.Path().empty() && InWaylandSession()) {
    ServeActivation();
  }
  FMutexHeld = created;
  if (handlerError) {
    std::rethrow_exception(handlerError);
  }
}

void TXJustOne::ServeActivation() {
  FService = std::make_unique<TActivationService>(ActivateShownWindow);
  FServicePending = true;
  // The bus is not worth delaying the first window for: the service starts
  // once the window has painted. A later instance waits two seconds for the
  // name, so one that shows nothing serves after one.
  if (Owner() != nullptr && Owner()->isWidgetType()) {
    Owner()->installEventFilter(this);
  }
  QTimer::singleShot(ServiceWait, this, &TXJustOne::StartService);
}

bool TXJustOne::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Owner() && event->type() == QEvent::Paint) {
    watched->removeEventFilter(this);
    QTimer::singleShot(0, this, &TXJustOne::StartService);
  }
  return false;
}

void TXJustOne::StartService() {
  if (!FServicePending || !FService) {
    return;
  }
  FServicePending = false;
  const TBusServeResult served = FService->Serve();
  if (!served.UniqueName.isEmpty()) {
    FMutex.WriteContent(served.UniqueName.toStdString() + "\n");
  }
}

void TXJustOne::ReleaseInstance() noexcept {
  FServicePending = false;
  FService.reset();
  if (FMutexHeld) {
    FMutex.Release();
    FMutexHeld = false;
  }
}

void RegisterJustOne() {
  static const bool registered = (RegisterClass<TXJustOne>(QStringLiteral("TXJustOne")), true);
  static_cast<void>(registered);
}

}  // namespace korvalen
