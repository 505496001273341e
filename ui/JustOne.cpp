#include "ui/JustOne.h"

#include "platform/instance/InstanceWindow.h"
#include "platform/qt/Application.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/LayoutLoader.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <QGuiApplication>

#include <string>
#include <utility>

namespace korvalen {
namespace {

// The exit code of a program that could not create its name and so, for
// safety, does not start.
constexpr int ExitNameUnavailable = 1;

// Only on X11 are the earlier instance's windows on a display we can reach;
// with an offscreen or Wayland backend DISPLAY may still be set, but our
// windows are not there.
void ActivateOnX11(const QString& title) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    return;
  }
  const auto own = static_cast<TXWindow>(Application()->TitleWindowHandle());
  // Qt's connection only flushed the blank name; this one waits for the
  // server, so the search below can no longer meet our own window.
  SetWindowName(own, {});
  TWindowClass ownClass;
  if (ReadWindowClass(own, ownClass)) {
    FindAndActivate(title.toStdString(), ownClass);
  }
}

TActivatePrevious& ActivatePrevious() {
  static TActivatePrevious activate = ActivateOnX11;
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
  if (value) {
    ClaimInstance();
  } else {
    ReleaseInstance();
  }
}

void TXJustOne::Loaded() {
  TComponent::Loaded();
  if (FEnabled) {
    ClaimInstance();
  }
}

TActivatePrevious TXJustOne::SetActivatePrevious(TActivatePrevious activate) {
  TActivatePrevious previous = std::move(ActivatePrevious());
  ActivatePrevious() = activate ? std::move(activate) : TActivatePrevious(ActivateOnX11);
  return previous;
}

void TXJustOne::ClaimInstance() {
  TApplication& application = *Application();
  // An empty title gives an unnamed object, which no other instance can
  // find: no guard, as intended for a program file without a name.
  const QString name = application.Title();
  FMutexHeld = false;
  TNamedLockResult claim = CreateNamedLock(name.toStdString());
  FMutex = std::move(claim.Handle);
  const bool created = FMutex.Held();
  if (claim.AlreadyExists || !created) {
    if (FAlreadyExist) {
      FAlreadyExist(this);
    }
    if (FSwitchToPrevious) {
      application.SetTitleWindowText(QString());
      ActivatePrevious()(name);
    }
    application.SetShowMainForm(false);
    if (created) {
      application.Terminate();
    } else {
      // Not starting is the safe choice, but quietly ending as if another
      // instance ran would leave the user guessing, and one started from a
      // menu reads no standard error: the error reporter shows the reason.
      RunGuarded([&] {
        throw Exception(Format(res::SInstanceNameUnavailable, {name.toStdString(), claim.Error}));
      });
      application.Terminate(ExitNameUnavailable);
    }
  }
  FMutexHeld = created;
}

void TXJustOne::ReleaseInstance() noexcept {
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
