#pragma once

// Finding and bringing forward an earlier instance's window, through the X
// server alone: what a search for a top-level window by its text and a
// foreground request give the single-instance guard. The earlier instance is
// sent nothing; only its window's properties are read and the window manager
// is asked to act on it.
//
// Every call works on the process's one X connection (platform/x11), Qt's
// in the program. Without one (no X server, a Wayland or offscreen backend,
// whose windows are not on that display) nothing is found and the calls
// return false at once.
//
//   SetWindowName(x, ownAppWindow, "");      // our own window no longer matches
//   TWindowClass own;
//   if (ReadWindowClass(x, ownAppWindow, own)) {
//     FindAndActivate(x, "Converter", own);  // Activated: the earlier instance's window is active
//   }

#include "platform/x11/X11.h"

#include <string>
#include <string_view>

namespace korvalen {

// WM_CLASS: the resource name and the class name.
struct TWindowClass {
  std::string Instance;
  std::string Class;
  bool operator==(const TWindowClass&) const = default;
};

// Reads WM_CLASS of `window` into `windowClass`. Returns false, leaving
// `windowClass` untouched, when there is no display, no such window, or the
// window has no class.
bool ReadWindowClass(const TX11& x, TXWindow window, TWindowClass& windowClass);

// Looks among every screen's root window's children, mapped or not (a
// later start on ":0.0" must find an instance on ":0.1", as the lock covers
// the whole server), for windows whose name (WindowName) equals `title`: an application's own
// never-mapped window. From such a window it reaches the same program's
// visible window (same WM_CLIENT_LEADER, or same _NET_WM_PID on the same
// machine) among the window manager's managed windows, or the root's
// children where no window manager runs, taking a normal window before
// others and the topmost first. That window's WM_CLASS class name must be
// `ownClass.Class`, so a foreign window that happens to carry the title is
// never touched. The resource name is not compared: it is the name the
// program was started under, and a start through a symbolic link must still
// find an instance started under the file's own name.
// A minimised window is restored, any other raised; then it is made the
// active window (_NET_ACTIVE_WINDOW as a pager, source 2, which window
// managers obey; the time is left to them, CurrentTime, as waiting for the
// server's time would mean reading events of a connection Qt reads).
// Returns Activated once such a window was found and the requests were
// sent; a window manager may still refuse them. An empty title names nothing
// (a blanked window must never match), so it finds no title window.
enum class TFindResult {
  NoTitleWindow,      // no window carries the title: the earlier instance is not on this display
  NothingToActivate,  // a window carries it, but no window of that program is shown
  Activated,
};
TFindResult FindAndActivate(const TX11& x, std::string_view title, const TWindowClass& ownClass);

// The launcher's startup-notification id of this start (DESKTOP_STARTUP_ID
// as the program was loaded, before a toolkit took it from the
// environment); empty when it was started without launch feedback.
const std::string& LaunchStartupId();

// Ends the launch feedback of `startupId` (a "remove" startup-notification
// message to the root window of $DISPLAY's screen), for a start that never
// maps a window. Returns whether the message reached the server; false for
// an empty id or without an X server.
bool EndStartupSequence(const TX11& x, std::string_view startupId);

}  // namespace korvalen
