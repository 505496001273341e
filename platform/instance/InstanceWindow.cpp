#include "platform/instance/InstanceWindow.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace korvalen {

namespace {

struct TFreeReply {
  void operator()(void* reply) const noexcept { std::free(reply); }
};
template <class T>
using TReply = std::unique_ptr<T, TFreeReply>;

// Atoms beyond the predefined ones, interned in one round trip.
enum TAtom : std::size_t {
  kUtf8String,
  kNetWmName,
  kNetWmPid,
  kWmClientLeader,
  kWmState,
  kNetWmState,
  kNetWmStateHidden,
  kNetWmWindowType,
  kNetWmWindowTypeNormal,
  kNetClientList,
  kNetClientListStacking,
  kNetSupported,
  kNetActiveWindow,
  kNetRestackWindow,
  kNetStartupInfoBegin,
  kNetStartupInfo,
  kAtomCount
};
constexpr std::array<std::string_view, kAtomCount> kAtomNames = {"UTF8_STRING",
                                                                 "_NET_WM_NAME",
                                                                 "_NET_WM_PID",
                                                                 "WM_CLIENT_LEADER",
                                                                 "WM_STATE",
                                                                 "_NET_WM_STATE",
                                                                 "_NET_WM_STATE_HIDDEN",
                                                                 "_NET_WM_WINDOW_TYPE",
                                                                 "_NET_WM_WINDOW_TYPE_NORMAL",
                                                                 "_NET_CLIENT_LIST",
                                                                 "_NET_CLIENT_LIST_STACKING",
                                                                 "_NET_SUPPORTED",
                                                                 "_NET_ACTIVE_WINDOW",
                                                                 "_NET_RESTACK_WINDOW",
                                                                 "_NET_STARTUP_INFO_BEGIN",
                                                                 "_NET_STARTUP_INFO"};

// ICCCM WM_STATE values.
constexpr std::uint32_t kWithdrawnState = 0;
constexpr std::uint32_t kIconicState = 3;
// _NET_RESTACK_WINDOW / _NET_ACTIVE_WINDOW: the request comes from a pager,
// which window managers obey without focus-stealing checks.
constexpr std::uint32_t kSourcePager = 2;
// Longest property read, in 32-bit units; a title is at most 255 characters.
constexpr std::uint32_t kPropertyLength = 1024;

class TXConnection {
 public:
  TXConnection() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
      return;
    }
    int screen = 0;
    FConn = xcb_connect(display, &screen);
    if (xcb_connection_has_error(FConn) != 0) {
      return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(FConn));
    for (; it.rem > 0 && screen > 0; --screen) {
      xcb_screen_next(&it);
    }
    if (it.rem > 0) {
      FRoot = it.data->root;
    }
  }
  TXConnection(const TXConnection&) = delete;
  TXConnection& operator=(const TXConnection&) = delete;
  ~TXConnection() {
    if (FConn != nullptr) {
      xcb_disconnect(FConn);
    }
  }

  bool Usable() const { return FConn != nullptr && FRoot != XCB_WINDOW_NONE; }
  xcb_connection_t* Get() const { return FConn; }
  xcb_window_t Root() const { return FRoot; }

  xcb_atom_t Atom(TAtom atom) const { return FAtoms[atom]; }
  void InternAtoms() {
    std::array<xcb_intern_atom_cookie_t, kAtomCount> cookies{};
    for (std::size_t i = 0; i < kAtomCount; ++i) {
      cookies[i] = xcb_intern_atom(FConn, 0, static_cast<std::uint16_t>(kAtomNames[i].size()),
                                   kAtomNames[i].data());
    }
    for (std::size_t i = 0; i < kAtomCount; ++i) {
      TReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(FConn, cookies[i], nullptr));
      FAtoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
  }

 private:
  xcb_connection_t* FConn = nullptr;
  xcb_window_t FRoot = XCB_WINDOW_NONE;
  std::array<xcb_atom_t, kAtomCount> FAtoms{};
};

xcb_get_property_cookie_t AskProperty(xcb_connection_t* conn, xcb_window_t window,
                                      xcb_atom_t property, xcb_atom_t type = XCB_ATOM_ANY) {
  return xcb_get_property(conn, 0, window, property, type, 0, kPropertyLength);
}

// The property's bytes, or nothing when the window lacks it.
std::optional<std::string> PropertyBytes(xcb_connection_t* conn, xcb_get_property_cookie_t cookie,
                                         xcb_atom_t* type = nullptr) {
  TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn, cookie, nullptr));
  if (!reply || reply->type == XCB_ATOM_NONE) {
    return std::nullopt;
  }
  if (type != nullptr) {
    *type = reply->type;
  }
  const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
  const int length = xcb_get_property_value_length(reply.get());
  return std::string(data, static_cast<std::size_t>(std::max(length, 0)));
}

// A 32-bit list property (windows, atoms, cardinals).
std::vector<std::uint32_t> PropertyWords(xcb_connection_t* conn, xcb_get_property_cookie_t cookie) {
  TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(conn, cookie, nullptr));
  if (!reply || reply->format != 32) {
    return {};
  }
  const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int bytes = xcb_get_property_value_length(reply.get());
  return std::vector<std::uint32_t>(data, data + std::max(bytes, 0) / 4);
}

std::uint32_t FirstWord(const std::vector<std::uint32_t>& words) {
  return words.empty() ? 0 : words.front();
}

bool Contains(const std::vector<std::uint32_t>& words, std::uint32_t value) {
  return value != 0 && std::find(words.begin(), words.end(), value) != words.end();
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

std::optional<TWindowClass> ParseClass(const std::optional<std::string>& bytes) {
  if (!bytes) {
    return std::nullopt;
  }
  // "instance\0class\0"
  const std::size_t split = bytes->find('\0');
  TWindowClass result;
  result.Instance = bytes->substr(0, split);
  if (split != std::string::npos) {
    const std::size_t end = bytes->find('\0', split + 1);
    result.Class = bytes->substr(split + 1, end == std::string::npos ? end : end - split - 1);
  }
  return result;
}

std::vector<xcb_window_t> RootChildren(const TXConnection& x) {
  TReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(x.Get(), xcb_query_tree(x.Get(), x.Root()), nullptr));
  if (!tree) {
    return {};
  }
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  return {children, children + xcb_query_tree_children_length(tree.get())};
}

// Root children named `title`, asked for all at once.
std::vector<xcb_window_t> WindowsNamed(const TXConnection& x,
                                       const std::vector<xcb_window_t>& windows,
                                       std::string_view title) {
  xcb_connection_t* conn = x.Get();
  std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
  cookies.reserve(windows.size());
  for (const xcb_window_t window : windows) {
    cookies.emplace_back(AskProperty(conn, window, x.Atom(kNetWmName), x.Atom(kUtf8String)),
                         AskProperty(conn, window, XCB_ATOM_WM_NAME));
  }
  std::vector<xcb_window_t> named;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    std::optional<std::string> name = PropertyBytes(conn, cookies[i].first);
    xcb_atom_t type = XCB_ATOM_NONE;
    std::optional<std::string> legacy = PropertyBytes(conn, cookies[i].second, &type);
    if (!name && legacy) {
      name = type == XCB_ATOM_STRING ? Latin1ToUtf8(*legacy) : *legacy;
    }
    if (name && *name == title) {
      named.push_back(windows[i]);
    }
  }
  return named;
}

// What decides whether a window belongs to a program and how to bring it forward.
struct TWindowFacts {
  xcb_window_t Window = XCB_WINDOW_NONE;
  std::uint32_t Leader = 0;
  std::uint32_t Pid = 0;
  std::optional<std::string> Machine;
  std::optional<TWindowClass> Class;
  bool Viewable = false;
  bool Iconic = false;
  bool Managed = false;
  bool Normal = true;
};

std::vector<TWindowFacts> ReadFacts(const TXConnection& x,
                                    const std::vector<xcb_window_t>& windows) {
  xcb_connection_t* conn = x.Get();
  struct TCookies {
    xcb_get_property_cookie_t Leader, Pid, Machine, Class, WmState, NetState, Type;
    xcb_get_window_attributes_cookie_t Attributes;
  };
  std::vector<TCookies> cookies;
  cookies.reserve(windows.size());
  for (const xcb_window_t w : windows) {
    cookies.push_back({AskProperty(conn, w, x.Atom(kWmClientLeader), XCB_ATOM_WINDOW),
                       AskProperty(conn, w, x.Atom(kNetWmPid), XCB_ATOM_CARDINAL),
                       AskProperty(conn, w, XCB_ATOM_WM_CLIENT_MACHINE),
                       AskProperty(conn, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
                       AskProperty(conn, w, x.Atom(kWmState), x.Atom(kWmState)),
                       AskProperty(conn, w, x.Atom(kNetWmState), XCB_ATOM_ATOM),
                       AskProperty(conn, w, x.Atom(kNetWmWindowType), XCB_ATOM_ATOM),
                       xcb_get_window_attributes(conn, w)});
  }
  std::vector<TWindowFacts> facts(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const TCookies& c = cookies[i];
    TWindowFacts& f = facts[i];
    f.Window = windows[i];
    f.Leader = FirstWord(PropertyWords(conn, c.Leader));
    f.Pid = FirstWord(PropertyWords(conn, c.Pid));
    f.Machine = PropertyBytes(conn, c.Machine);
    f.Class = ParseClass(PropertyBytes(conn, c.Class));
    const std::vector<std::uint32_t> wmState = PropertyWords(conn, c.WmState);
    f.Managed = !wmState.empty() && wmState.front() != kWithdrawnState;
    f.Iconic = (!wmState.empty() && wmState.front() == kIconicState) ||
               Contains(PropertyWords(conn, c.NetState), x.Atom(kNetWmStateHidden));
    const std::vector<std::uint32_t> types = PropertyWords(conn, c.Type);
    f.Normal = types.empty() || types.front() == x.Atom(kNetWmWindowTypeNormal);
    TReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(conn, c.Attributes, nullptr));
    f.Viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  }
  return facts;
}

bool SameProgram(const TWindowFacts& a, const TWindowFacts& b) {
  if (a.Leader != 0 && a.Leader == b.Leader) {
    return true;
  }
  return a.Pid != 0 && a.Pid == b.Pid && a.Machine == b.Machine;
}

// Windows a user can see or restore, topmost first.
std::vector<xcb_window_t> ShownWindowsTopFirst(const TXConnection& x,
                                               const std::vector<xcb_window_t>& rootChildren) {
  xcb_connection_t* conn = x.Get();
  const auto stackingCookie =
      AskProperty(conn, x.Root(), x.Atom(kNetClientListStacking), XCB_ATOM_WINDOW);
  const auto listCookie = AskProperty(conn, x.Root(), x.Atom(kNetClientList), XCB_ATOM_WINDOW);
  std::vector<xcb_window_t> windows = PropertyWords(conn, stackingCookie);
  std::vector<xcb_window_t> listed = PropertyWords(conn, listCookie);
  if (windows.empty()) {
    // _NET_CLIENT_LIST is in mapping order; the later ones are likelier on top.
    windows = std::move(listed);
  }
  if (windows.empty()) {
    // No window manager: the root's children, bottom to top.
    windows = rootChildren;
  }
  std::reverse(windows.begin(), windows.end());
  return windows;
}

// The server's current time, as a PropertyNotify on a window of our own
// reports it; 0 (CurrentTime) when that fails.
xcb_timestamp_t ServerTime(const TXConnection& x) {
  xcb_connection_t* conn = x.Get();
  const xcb_window_t window = xcb_generate_id(conn);
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, x.Root(), 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  xcb_change_property(conn, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                      nullptr);
  xcb_flush(conn);
  xcb_timestamp_t time = XCB_CURRENT_TIME;
  while (TReply<xcb_generic_event_t> event{xcb_wait_for_event(conn)}) {
    if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
      if (notify->window == window) {
        time = notify->time;
        break;
      }
    }
  }
  xcb_destroy_window(conn, window);
  return time;
}

void SendToRoot(const TXConnection& x, xcb_window_t window, xcb_atom_t type,
                std::array<std::uint32_t, 3> data) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = type;
  std::copy(data.begin(), data.end(), message.data.data32);
  xcb_send_event(x.Get(), 0, x.Root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
}

// Failed requests come back as errors that nobody waits for: the guard
// ignores a refused restore, raise or activation.
void Activate(const TXConnection& x, const TWindowFacts& target) {
  xcb_connection_t* conn = x.Get();
  const auto supportedCookie = AskProperty(conn, x.Root(), x.Atom(kNetSupported), XCB_ATOM_ATOM);
  const auto activeCookie = AskProperty(conn, x.Root(), x.Atom(kNetActiveWindow), XCB_ATOM_WINDOW);
  const std::vector<std::uint32_t> supported = PropertyWords(conn, supportedCookie);
  const std::uint32_t active = FirstWord(PropertyWords(conn, activeCookie));
  const xcb_timestamp_t now = ServerTime(x);

  if (target.Iconic) {
    // ICCCM: mapping an iconic window asks for the normal state.
    xcb_map_window(conn, target.Window);
  } else if (Contains(supported, x.Atom(kNetRestackWindow))) {
    SendToRoot(x, target.Window, x.Atom(kNetRestackWindow),
               {kSourcePager, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE});
  } else {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(conn, target.Window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  }

  if (Contains(supported, x.Atom(kNetActiveWindow))) {
    SendToRoot(x, target.Window, x.Atom(kNetActiveWindow), {kSourcePager, now, active});
  } else {
    xcb_set_input_focus(conn, XCB_INPUT_FOCUS_PARENT, target.Window, now);
  }
  // A round trip, so every request has reached the server before we leave.
  TReply<xcb_get_input_focus_reply_t> sync(
      xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
}

// Qt's xcb plugin takes the launcher's id out of the environment as the
// application object is made, and ends the launch feedback only when a window
// maps; so the id is read as the program is loaded, before main runs.
const std::string GLaunchStartupId = [] {
  const char* id = std::getenv("DESKTOP_STARTUP_ID");
  return std::string(id != nullptr ? id : "");
}();

// A startup-notification value, quoted when it holds what would end it.
std::string StartupValue(std::string_view value) {
  if (!value.empty() && value.find_first_of(" \"\\") == std::string_view::npos) {
    return std::string(value);
  }
  std::string quoted = "\"";
  for (const char c : value) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

const std::string& LaunchStartupId() {
  return GLaunchStartupId;
}

bool EndStartupSequence(std::string_view startupId) {
  if (startupId.empty()) {
    return false;
  }
  TXConnection x;
  if (!x.Usable()) {
    return false;
  }
  x.InternAtoms();
  xcb_connection_t* conn = x.Get();
  // The message travels in pieces of 20 bytes, the terminating NUL included,
  // all naming one window of the sender's.
  const std::string message = "remove: ID=" + StartupValue(startupId) + '\0';
  const xcb_window_t window = xcb_generate_id(conn);
  xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, x.Root(), 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  for (std::size_t offset = 0; offset < message.size(); offset += 20) {
    xcb_client_message_event_t piece{};
    piece.response_type = XCB_CLIENT_MESSAGE;
    piece.format = 8;
    piece.window = window;
    piece.type = x.Atom(offset == 0 ? kNetStartupInfoBegin : kNetStartupInfo);
    message.copy(reinterpret_cast<char*>(piece.data.data8), 20, offset);
    xcb_send_event(conn, 0, x.Root(), XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char*>(&piece));
  }
  xcb_destroy_window(conn, window);
  // A round trip, so the message has reached the server before we leave.
  TReply<xcb_get_input_focus_reply_t> sync(
      xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
  return static_cast<bool>(sync);
}

bool SetWindowName(TXWindow window, std::string_view text) {
  TXConnection x;
  if (!x.Usable()) {
    return false;
  }
  x.InternAtoms();
  xcb_connection_t* conn = x.Get();
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const auto length = static_cast<std::uint32_t>(text.size());
  // WM_NAME of type STRING must be Latin-1; UTF8_STRING is what toolkits use otherwise.
  const xcb_void_cookie_t legacy = xcb_change_property_checked(
      conn, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
      ascii ? xcb_atom_t{XCB_ATOM_STRING} : x.Atom(kUtf8String), 8, length, text.data());
  const xcb_void_cookie_t net =
      xcb_change_property_checked(conn, XCB_PROP_MODE_REPLACE, window, x.Atom(kNetWmName),
                                  x.Atom(kUtf8String), 8, length, text.data());
  TReply<xcb_generic_error_t> legacyError(xcb_request_check(conn, legacy));
  TReply<xcb_generic_error_t> netError(xcb_request_check(conn, net));
  return !legacyError && !netError;
}

bool ReadWindowClass(TXWindow window, TWindowClass& windowClass) {
  TXConnection x;
  if (!x.Usable()) {
    return false;
  }
  std::optional<TWindowClass> found = ParseClass(
      PropertyBytes(x.Get(), AskProperty(x.Get(), window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)));
  if (!found) {
    return false;
  }
  windowClass = std::move(*found);
  return true;
}

TFindResult FindAndActivate(std::string_view title, const TWindowClass& ownClass) {
  if (title.empty()) {
    return TFindResult::NoTitleWindow;
  }
  TXConnection x;
  if (!x.Usable()) {
    return TFindResult::NoTitleWindow;
  }
  x.InternAtoms();
  const std::vector<xcb_window_t> children = RootChildren(x);
  const std::vector<xcb_window_t> named = WindowsNamed(x, children, title);
  if (named.empty()) {
    return TFindResult::NoTitleWindow;
  }
  const std::vector<TWindowFacts> owners = ReadFacts(x, named);
  const std::vector<TWindowFacts> shown = ReadFacts(x, ShownWindowsTopFirst(x, children));

  // The named window may be a foreign one or a client leader with nothing
  // shown (ours is among them when Qt names its leader after the program),
  // so every one is tried.
  for (const TWindowFacts& owner : owners) {
    const TWindowFacts* best = nullptr;
    for (const TWindowFacts& candidate : shown) {
      const bool eligible = candidate.Window != owner.Window && SameProgram(owner, candidate) &&
                            candidate.Class && candidate.Class->Class == ownClass.Class &&
                            (candidate.Viewable || candidate.Iconic || candidate.Managed);
      if (eligible && (best == nullptr || (candidate.Normal && !best->Normal))) {
        best = &candidate;
      }
    }
    if (best != nullptr) {
      Activate(x, *best);
      return TFindResult::Activated;
    }
  }
  return TFindResult::NothingToActivate;
}

}  // namespace korvalen
