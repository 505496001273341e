#include "platform/instance/InstanceWindow.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace korvalen {

namespace {

// Atoms beyond the predefined ones and the names' own, interned in one round trip.
enum TAtom : std::size_t {
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
constexpr std::array<std::string_view, kAtomCount> kAtomNames = {"_NET_WM_PID",
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

// The connection with this module's atoms.
struct TSession {
  const TX11& X;
  std::vector<xcb_atom_t> Atoms;
  explicit TSession(const TX11& x) : X(x), Atoms(x.Atoms(kAtomNames)) {}
  xcb_connection_t* Conn() const { return X.Connection(); }
  xcb_atom_t Atom(TAtom atom) const { return Atoms[atom]; }
};

std::uint32_t FirstWord(const std::vector<std::uint32_t>& words) {
  return words.empty() ? 0 : words.front();
}

bool Contains(const std::vector<std::uint32_t>& words, std::uint32_t value) {
  return value != 0 && std::find(words.begin(), words.end(), value) != words.end();
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

std::vector<xcb_window_t> RootChildren(const TX11& x, xcb_window_t root) {
  const TXReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(x.Connection(), xcb_query_tree(x.Connection(), root), nullptr));
  if (!tree) {
    return {};
  }
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  return {children, children + xcb_query_tree_children_length(tree.get())};
}

// The windows named `title`, asked for all at once.
std::vector<xcb_window_t> WindowsNamed(const TX11& x, const std::vector<xcb_window_t>& windows,
                                       std::string_view title) {
  std::vector<TNameRequest> requests;
  requests.reserve(windows.size());
  for (const xcb_window_t window : windows) {
    requests.push_back(AskWindowName(x, window));
  }
  std::vector<xcb_window_t> named;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (WindowNameReply(x, requests[i]) == title) {
      named.push_back(windows[i]);
    }
  }
  return named;
}

// What decides whether a window belongs to a program and how to bring it forward.
struct TWindowFacts {
  xcb_window_t Window = XCB_WINDOW_NONE;
  xcb_window_t Root = XCB_WINDOW_NONE;
  std::uint32_t Leader = 0;
  std::uint32_t Pid = 0;
  std::optional<std::string> Machine;
  std::optional<TWindowClass> Class;
  bool Viewable = false;
  bool Iconic = false;
  bool Managed = false;
  bool Normal = true;
};

std::vector<TWindowFacts> ReadFacts(const TSession& s, const std::vector<xcb_window_t>& windows) {
  const TX11& x = s.X;
  struct TCookies {
    xcb_get_property_cookie_t Leader, Pid, Machine, Class, WmState, NetState, Type;
    xcb_get_window_attributes_cookie_t Attributes;
  };
  std::vector<TCookies> cookies;
  cookies.reserve(windows.size());
  for (const xcb_window_t w : windows) {
    cookies.push_back({AskProperty(x, w, s.Atom(kWmClientLeader), XCB_ATOM_WINDOW),
                       AskProperty(x, w, s.Atom(kNetWmPid), XCB_ATOM_CARDINAL),
                       AskProperty(x, w, XCB_ATOM_WM_CLIENT_MACHINE),
                       AskProperty(x, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
                       AskProperty(x, w, s.Atom(kWmState), s.Atom(kWmState)),
                       AskProperty(x, w, s.Atom(kNetWmState), XCB_ATOM_ATOM),
                       AskProperty(x, w, s.Atom(kNetWmWindowType), XCB_ATOM_ATOM),
                       xcb_get_window_attributes(s.Conn(), w)});
  }
  std::vector<TWindowFacts> facts(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const TCookies& c = cookies[i];
    TWindowFacts& f = facts[i];
    f.Window = windows[i];
    f.Leader = FirstWord(PropertyWords(x, c.Leader));
    f.Pid = FirstWord(PropertyWords(x, c.Pid));
    f.Machine = PropertyBytes(x, c.Machine);
    f.Class = ParseClass(PropertyBytes(x, c.Class));
    const std::vector<std::uint32_t> wmState = PropertyWords(x, c.WmState);
    f.Managed = !wmState.empty() && wmState.front() != kWithdrawnState;
    f.Iconic = (!wmState.empty() && wmState.front() == kIconicState) ||
               Contains(PropertyWords(x, c.NetState), s.Atom(kNetWmStateHidden));
    const std::vector<std::uint32_t> types = PropertyWords(x, c.Type);
    f.Normal = types.empty() || types.front() == s.Atom(kNetWmWindowTypeNormal);
    const TXReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(s.Conn(), c.Attributes, nullptr));
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

// The windows a user can see or restore on one screen, topmost first.
std::vector<xcb_window_t> ShownWindowsTopFirst(const TSession& s, xcb_window_t root,
                                               const std::vector<xcb_window_t>& rootChildren) {
  const auto stackingCookie =
      AskProperty(s.X, root, s.Atom(kNetClientListStacking), XCB_ATOM_WINDOW);
  const auto listCookie = AskProperty(s.X, root, s.Atom(kNetClientList), XCB_ATOM_WINDOW);
  std::vector<xcb_window_t> windows = PropertyWords(s.X, stackingCookie);
  std::vector<xcb_window_t> listed = PropertyWords(s.X, listCookie);
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

void SendToRoot(const TSession& s, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                std::array<std::uint32_t, 3> data) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = type;
  std::copy(data.begin(), data.end(), message.data.data32);
  xcb_send_event(s.Conn(), 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
}

// Failed requests come back as errors that nobody waits for: the guard
// ignores a refused restore, raise or activation.
void Activate(const TSession& s, const TWindowFacts& target) {
  xcb_connection_t* conn = s.Conn();
  const xcb_window_t root = target.Root;
  const auto supportedCookie = AskProperty(s.X, root, s.Atom(kNetSupported), XCB_ATOM_ATOM);
  const auto activeCookie = AskProperty(s.X, root, s.Atom(kNetActiveWindow), XCB_ATOM_WINDOW);
  const std::vector<std::uint32_t> supported = PropertyWords(s.X, supportedCookie);
  const std::uint32_t active = FirstWord(PropertyWords(s.X, activeCookie));

  if (target.Iconic) {
    // ICCCM: mapping an iconic window asks for the normal state.
    xcb_map_window(conn, target.Window);
  } else if (Contains(supported, s.Atom(kNetRestackWindow))) {
    SendToRoot(s, root, target.Window, s.Atom(kNetRestackWindow),
               {kSourcePager, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE});
  } else {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(conn, target.Window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  }

  if (Contains(supported, s.Atom(kNetActiveWindow))) {
    SendToRoot(s, root, target.Window, s.Atom(kNetActiveWindow),
               {kSourcePager, XCB_CURRENT_TIME, active});
  } else {
    xcb_set_input_focus(conn, XCB_INPUT_FOCUS_PARENT, target.Window, XCB_CURRENT_TIME);
  }
  // Every request has reached the server before the program ends.
  s.X.Sync();
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

bool EndStartupSequence(const TX11& x, std::string_view startupId) {
  if (startupId.empty() || !x.Usable() || x.Roots().empty()) {
    return false;
  }
  const TSession s(x);
  xcb_connection_t* conn = s.Conn();
  const xcb_window_t root = x.Roots().front();
  // The message travels in pieces of 20 bytes, the terminating NUL included,
  // all naming one window of the sender's.
  const std::string message = "remove: ID=" + StartupValue(startupId) + '\0';
  const xcb_window_t window = xcb_generate_id(conn);
  xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  for (std::size_t offset = 0; offset < message.size(); offset += 20) {
    xcb_client_message_event_t piece{};
    piece.response_type = XCB_CLIENT_MESSAGE;
    piece.format = 8;
    piece.window = window;
    piece.type = s.Atom(offset == 0 ? kNetStartupInfoBegin : kNetStartupInfo);
    message.copy(reinterpret_cast<char*>(piece.data.data8), 20, offset);
    xcb_send_event(conn, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char*>(&piece));
  }
  xcb_destroy_window(conn, window);
  // The message has reached the server before the program ends.
  return x.Sync();
}

bool ReadWindowClass(const TX11& x, TXWindow window, TWindowClass& windowClass) {
  if (!x.Usable()) {
    return false;
  }
  std::optional<TWindowClass> found =
      ParseClass(PropertyBytes(x, AskProperty(x, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)));
  if (!found) {
    return false;
  }
  windowClass = std::move(*found);
  return true;
}

TFindResult FindAndActivate(const TX11& x, std::string_view title, const TWindowClass& ownClass) {
  if (title.empty() || !x.Usable()) {
    return TFindResult::NoTitleWindow;
  }
  std::vector<std::vector<xcb_window_t>> children;
  std::vector<xcb_window_t> named;
  for (const xcb_window_t root : x.Roots()) {
    children.push_back(RootChildren(x, root));
    const std::vector<xcb_window_t> here = WindowsNamed(x, children.back(), title);
    named.insert(named.end(), here.begin(), here.end());
  }
  if (named.empty()) {
    return TFindResult::NoTitleWindow;
  }
  const TSession s(x);
  const std::vector<TWindowFacts> owners = ReadFacts(s, named);
  std::vector<TWindowFacts> shown;
  for (std::size_t i = 0; i < x.Roots().size(); ++i) {
    const xcb_window_t root = x.Roots()[i];
    std::vector<TWindowFacts> facts = ReadFacts(s, ShownWindowsTopFirst(s, root, children[i]));
    for (TWindowFacts& f : facts) {
      f.Root = root;
      shown.push_back(std::move(f));
    }
  }

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
      Activate(s, *best);
      return TFindResult::Activated;
    }
  }
  return TFindResult::NothingToActivate;
}

}  // namespace korvalen
