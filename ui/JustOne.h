#pragma once

// The single-instance guard: a non-visual component placed on the welcome
// window. Once the window's layout is loaded it claims a name, the
// application title, for the whole run. A later instance finds the name
// taken: it calls AlreadyExist, brings the earlier instance's window
// forward (SwitchToPrevious), tells the application not to show its main
// window and ends. The name is per graphical session. On an X11 session the
// earlier instance is sent nothing: it serves nothing, its lock file stays
// empty, and a later instance that finds no window carrying the title
// activates nothing and still ends. Only in a Wayland session (a Wayland
// display is named, also for a program on Xwayland), where no client may
// reach another's window, does the earlier instance serve an activation
// request on the session bus and receive the later instance's activation
// token.
//
//   { "class": "TXJustOne", "name": "XJustOne1",
//     "properties": { "SwitchToPrevious": true, "Enabled": true } }
//   // first start: the name is claimed and the welcome window shows;
//   // second start: the first one's window is active, the second exits 0
//   // without showing a window.
//
// If the name cannot be created at all the program does not start either,
// but it says why through the error reporter (a message box and one line on
// standard error) and exits with code 1.

#include "platform/activation/ActivationBus.h"
#include "platform/instance/NamedLock.h"
#include "platform/qt/Components.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace korvalen {

// Brings the earlier instance's window forward, given the title and this
// instance's handle to the taken name (closed when the name could not be
// created). The default searches every screen of the X display for the
// title; in a Wayland session, where that finds no window carrying it, it
// asks the earlier instance over the session bus, whose name it reads from
// the lock file.
using TActivatePrevious = std::function<void(const QString& title, const TNamedLock& lock)>;

class TXJustOne : public TComponent {
  Q_OBJECT
  // The stored properties, written by the layout loader in this order. A
  // layout cannot assign AlreadyExist; only code can.
  Q_PROPERTY(bool SwitchToPrevious READ SwitchToPrevious WRITE SetSwitchToPrevious)
  Q_PROPERTY(korvalen::TNotifyEvent AlreadyExist READ AlreadyExist WRITE SetAlreadyExist)
  Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)

 public:
  // Both switches start on; nothing is claimed yet.
  explicit TXJustOne(QObject* owner);
  // Gives up the claim.
  ~TXJustOne() override;

  TXJustOne(const TXJustOne&) = delete;
  TXJustOne& operator=(const TXJustOne&) = delete;

  bool SwitchToPrevious() const noexcept { return FSwitchToPrevious; }
  void SetSwitchToPrevious(bool value) noexcept { FSwitchToPrevious = value; }

  // Called with the guard as sender when an earlier instance is detected,
  // before its window is brought forward.
  const TNotifyEvent& AlreadyExist() const noexcept { return FAlreadyExist; }
  void SetAlreadyExist(TNotifyEvent handler) { FAlreadyExist = std::move(handler); }

  // Only a change acts: true runs the check, false gives up the claim. The
  // stored true equals the constructor's value, so loading runs no check;
  // Loaded() does. An error of AlreadyExist is reported as any property
  // setter's (held for the loader during a load), and a later instance
  // still ends without showing a window.
  bool Enabled() const noexcept { return FEnabled; }
  void SetEnabled(bool value);

  // Runs the check when the guard is enabled. An error of AlreadyExist is
  // raised once the check is complete, so a later instance still ends.
  void Loaded() override;

  // Replaces the step that brings the earlier instance forward and returns
  // the previous one; an empty function restores the default. For tests.
  static TActivatePrevious SetActivatePrevious(TActivatePrevious activate);

 private:
  void ClaimInstance();
  void ReleaseInstance() noexcept;
  // The earlier instance's side of the bus: serves Activate and leaves its
  // unique name in the lock file, once the owner has painted its first
  // frame, or after a second when it shows none.
  void ServeActivation();
  void StartService();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool FSwitchToPrevious = true;
  TNotifyEvent FAlreadyExist;
  TNamedLock FMutex;
  bool FMutexHeld = false;
  std::unique_ptr<TActivationService> FService;
  bool FServicePending = false;
  bool FEnabled = true;
};

// Enters TXJustOne into the layout loader's class registry. Calling it
// again does nothing.
void RegisterJustOne();

}  // namespace korvalen
