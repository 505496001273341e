#pragma once

// Finding and bringing forward an earlier instance's window, through the X
// server alone: what a search for a top-level window by its text and a
// foreground request give the single-instance guard. The earlier instance is
// sent nothing; only its window's properties are read and the window manager
// is asked to act on it.
//
// Each call opens its own connection to $DISPLAY, so it works beside any
// toolkit. Without an X server (no DISPLAY, a Wayland session without
// Xwayland, a display that refuses us) nothing is found and the calls
// return false at once. A program whose toolkit does not draw on X11 (an
// offscreen or Wayland backend with DISPLAY still set) should not call them:
// its windows are not on that display.
//
//   SetWindowName(ownAppWindow, "");      // our own window no longer matches
//   TWindowClass own;
//   if (ReadWindowClass(ownAppWindow, own)) {
//     FindAndActivate("Converter", own);  // Activated: the earlier instance's window is active
//   }

#include <cstdint>
#include <string>
#include <string_view>

namespace korvalen {

// An X window id (a Qt window's winId() on the xcb platform).
using TXWindow = std::uint32_t;

// WM_CLASS: the resource name and the class name.
struct TWindowClass {
  std::string Instance;
  std::string Class;
  bool operator==(const TWindowClass&) const = default;
};

// Sets WM_NAME and _NET_WM_NAME (UTF-8) of `window` to `text`; "" blanks
// both. Returns whether the server applied both, which it has done before
// this returns, so a search by another connection already sees the new name.
bool SetWindowName(TXWindow window, std::string_view text);

// Reads WM_CLASS of `window` into `windowClass`. Returns false, leaving
// `windowClass` untouched, when there is no display, no such window, or the
// window has no class.
bool ReadWindowClass(TXWindow window, TWindowClass& windowClass);

// Looks among the root window's children, mapped or not, for windows whose
// name (_NET_WM_NAME, else WM_NAME) equals `title`: an application's own
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
// active window (_NET_ACTIVE_WINDOW as a pager, source 2, with the server's
// current time, which window managers that prevent focus stealing honour).
// Returns Activated once such a window was found and the requests were
// sent; a window manager may still refuse them. An empty title names nothing
// (a blanked window must never match), so it finds no title window.
enum class TFindResult {
  NoTitleWindow,      // no window carries the title: the earlier instance is not on this display
  NothingToActivate,  // a window carries it, but no window of that program is shown
  Activated,
};
TFindResult FindAndActivate(std::string_view title, const TWindowClass& ownClass);

// The launcher's startup-notification id of this start (DESKTOP_STARTUP_ID
// as the program was loaded, before a toolkit took it from the
// environment); empty when it was started without launch feedback.
const std::string& LaunchStartupId();

// Ends the launch feedback of `startupId` (a "remove" startup-notification
// message to the root window), for a start that never maps a window. Returns
// whether the message reached the server; false for an empty id or without
// an X server.
bool EndStartupSequence(std::string_view startupId);

}  // namespace korvalen
