#pragma once

// The program's one way to talk to an X server. A process uses one
// connection: the toolkit's (Qt's, lent through its native interface) where
// there is one, and one of its own only where there is none (a program
// without Qt, or before the application object exists). Every window the
// program names is named the same way.
//
//   TX11 x = TX11::Borrow(qtConnection);  // or TX11::Open() for $DISPLAY
//   SetWindowName(x, window, "Zürich");   // _NET_WM_NAME UTF-8, WM_NAME Latin-1 STRING
//   WindowName(x, window);                // "Zürich"
//
// A borrowed connection's events belong to its owner, whose thread reads
// them: nothing here waits for an event, only for replies.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvalen {

// An X window id (a Qt window's winId() on the xcb platform).
using TXWindow = std::uint32_t;

struct TFreeReply {
  void operator()(void* reply) const noexcept { std::free(reply); }
};
// An xcb reply (or error, or event), freed with it.
template <class T>
using TXReply = std::unique_ptr<T, TFreeReply>;

class TX11 {
 public:
  // No connection: nothing is found, nothing is sent.
  TX11() = default;
  // Uses a connection that another part of the process owns and closes
  // (Qt's). nullptr or a failed connection gives none.
  static TX11 Borrow(xcb_connection_t* connection);
  // Opens a connection of its own to `display` ($DISPLAY when nullptr),
  // closed with this object; none when the server cannot be reached.
  static TX11 Open(const char* display = nullptr);

  TX11(TX11&& other) noexcept;
  TX11& operator=(TX11&& other) noexcept;
  TX11(const TX11&) = delete;
  TX11& operator=(const TX11&) = delete;
  ~TX11();

  bool Usable() const noexcept { return FConn != nullptr; }
  xcb_connection_t* Connection() const noexcept { return FConn; }
  // Every screen's root window, the screen $DISPLAY names first. A program
  // on one screen of a server may meet another's windows on any of them.
  const std::vector<xcb_window_t>& Roots() const noexcept { return FRoots; }

  // Interns `names` in one round trip, in order; XCB_ATOM_NONE for a name
  // that failed or without a connection.
  std::vector<xcb_atom_t> Atoms(std::span<const std::string_view> names) const;

  // UTF8_STRING and _NET_WM_NAME, interned together at the first use.
  xcb_atom_t Utf8String() const;
  xcb_atom_t NetWmName() const;

  // Waits until the server has handled every request sent so far, so that
  // other connections see their effect. False without a working connection.
  bool Sync() const;

 private:
  void InternNameAtoms() const;

  xcb_connection_t* FConn = nullptr;
  bool FOwned = false;
  std::vector<xcb_window_t> FRoots;
  mutable xcb_atom_t FUtf8String = XCB_ATOM_NONE;
  mutable xcb_atom_t FNetWmName = XCB_ATOM_NONE;
};

// Asks for a property, at most 4096 bytes of it; the reply is read with one
// of the two functions below, so that many requests share one round trip.
xcb_get_property_cookie_t AskProperty(const TX11& x, xcb_window_t window, xcb_atom_t property,
                                      xcb_atom_t type = XCB_ATOM_ANY);
// The property's bytes (and its type), or nothing when the window lacks it.
std::optional<std::string> PropertyBytes(const TX11& x, xcb_get_property_cookie_t cookie,
                                         xcb_atom_t* type = nullptr);
// A 32-bit list property (windows, atoms, cardinals); empty when absent.
std::vector<std::uint32_t> PropertyWords(const TX11& x, xcb_get_property_cookie_t cookie);

// Sets `window`'s name to `text` (UTF-8): _NET_WM_NAME as UTF8_STRING, which
// window managers and our search read first, and WM_NAME for older readers
// as ICCCM's STRING (Latin-1) when every character is Latin-1, else as
// UTF8_STRING, as Qt and GTK write it; so no reader meets a name that lost
// characters. (COMPOUND_TEXT would carry any text too, but needs an ISO 2022
// encoder for readers that all decode UTF8_STRING.) "" blanks both.
// Requests on the same connection see the new name; another connection
// after Sync(). Returns false without a connection.
bool SetWindowName(const TX11& x, TXWindow window, std::string_view text);

// A window's name as SetWindowName writes it, read in two steps for batches.
struct TNameRequest {
  xcb_get_property_cookie_t NetWmName;
  xcb_get_property_cookie_t WmName;
};
TNameRequest AskWindowName(const TX11& x, TXWindow window);
// _NET_WM_NAME, else WM_NAME (a STRING read as Latin-1), in UTF-8; nothing
// when the window has neither.
std::optional<std::string> WindowNameReply(const TX11& x, const TNameRequest& request);
std::optional<std::string> WindowName(const TX11& x, TXWindow window);

}  // namespace korvalen
