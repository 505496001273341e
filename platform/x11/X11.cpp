#include "platform/x11/X11.h"

#include <algorithm>
#include <array>
#include <utility>

namespace korvalen {

namespace {

// Longest property read, in 32-bit units; a title is at most 255 characters.
constexpr std::uint32_t kPropertyLength = 1024;

// The roots of all screens, the one `screen` numbers first.
std::vector<xcb_window_t> ScreenRoots(xcb_connection_t* conn, int screen) {
  std::vector<xcb_window_t> roots;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
  for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i) {
    roots.insert(i == screen ? roots.begin() : roots.end(), it.data->root);
  }
  return roots;
}

// The screen $DISPLAY names, which Qt takes for its primary screen too.
int DisplayScreen() {
  int screen = 0;
  char* host = nullptr;
  int display = 0;
  if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
    screen = 0;
  }
  std::free(host);
  return screen;
}

// `utf8` as Latin-1 bytes, or nothing when a character lies beyond U+00FF
// (or the text is not UTF-8).
std::optional<std::string> Latin1FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
    } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size() &&
               (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
      out +=
          static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      return std::nullopt;
    }
  }
  return out;
}

std::string Utf8FromLatin1(std::string_view text) {
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

}  // namespace

TX11 TX11::Borrow(xcb_connection_t* connection) {
  TX11 x;
  if (connection != nullptr && xcb_connection_has_error(connection) == 0) {
    x.FConn = connection;
    x.FRoots = ScreenRoots(connection, DisplayScreen());
  }
  return x;
}

TX11 TX11::Open(const char* display) {
  TX11 x;
  if (display == nullptr) {
    display = std::getenv("DISPLAY");
  }
  if (display == nullptr || display[0] == '\0') {
    return x;
  }
  int screen = 0;
  xcb_connection_t* conn = xcb_connect(display, &screen);
  if (xcb_connection_has_error(conn) != 0) {
    xcb_disconnect(conn);
    return x;
  }
  x.FConn = conn;
  x.FOwned = true;
  x.FRoots = ScreenRoots(conn, screen);
  return x;
}

TX11::TX11(TX11&& other) noexcept
    : FConn(std::exchange(other.FConn, nullptr)),
      FOwned(std::exchange(other.FOwned, false)),
      FRoots(std::move(other.FRoots)),
      FUtf8String(other.FUtf8String),
      FNetWmName(other.FNetWmName) {}

TX11& TX11::operator=(TX11&& other) noexcept {
  if (this != &other) {
    if (FOwned) {
      xcb_disconnect(FConn);
    }
    FConn = std::exchange(other.FConn, nullptr);
    FOwned = std::exchange(other.FOwned, false);
    FRoots = std::move(other.FRoots);
    FUtf8String = other.FUtf8String;
    FNetWmName = other.FNetWmName;
  }
  return *this;
}

TX11::~TX11() {
  if (FOwned) {
    xcb_disconnect(FConn);
  }
}

std::vector<xcb_atom_t> TX11::Atoms(std::span<const std::string_view> names) const {
  std::vector<xcb_atom_t> atoms(names.size(), XCB_ATOM_NONE);
  if (FConn == nullptr) {
    return atoms;
  }
  std::vector<xcb_intern_atom_cookie_t> cookies;
  cookies.reserve(names.size());
  for (const std::string_view name : names) {
    cookies.push_back(
        xcb_intern_atom(FConn, 0, static_cast<std::uint16_t>(name.size()), name.data()));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const TXReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(FConn, cookies[i], nullptr));
    if (reply) {
      atoms[i] = reply->atom;
    }
  }
  return atoms;
}

void TX11::InternNameAtoms() const {
  if (FUtf8String != XCB_ATOM_NONE) {
    return;
  }
  static constexpr std::array<std::string_view, 2> kNames = {"UTF8_STRING", "_NET_WM_NAME"};
  const std::vector<xcb_atom_t> atoms = Atoms(kNames);
  FUtf8String = atoms[0];
  FNetWmName = atoms[1];
}

xcb_atom_t TX11::Utf8String() const {
  InternNameAtoms();
  return FUtf8String;
}

xcb_atom_t TX11::NetWmName() const {
  InternNameAtoms();
  return FNetWmName;
}

bool TX11::Sync() const {
  if (FConn == nullptr) {
    return false;
  }
  const TXReply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr));
  return static_cast<bool>(reply);
}

xcb_get_property_cookie_t AskProperty(const TX11& x, xcb_window_t window, xcb_atom_t property,
                                      xcb_atom_t type) {
  return xcb_get_property(x.Connection(), 0, window, property, type, 0, kPropertyLength);
}

std::optional<std::string> PropertyBytes(const TX11& x, xcb_get_property_cookie_t cookie,
                                         xcb_atom_t* type) {
  const TXReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(x.Connection(), cookie, nullptr));
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

std::vector<std::uint32_t> PropertyWords(const TX11& x, xcb_get_property_cookie_t cookie) {
  const TXReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(x.Connection(), cookie, nullptr));
  if (!reply || reply->format != 32) {
    return {};
  }
  const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const int bytes = xcb_get_property_value_length(reply.get());
  return std::vector<std::uint32_t>(data, data + std::max(bytes, 0) / 4);
}

bool SetWindowName(const TX11& x, TXWindow window, std::string_view text) {
  if (!x.Usable()) {
    return false;
  }
  xcb_connection_t* conn = x.Connection();
  const std::optional<std::string> latin1 = Latin1FromUtf8(text);
  const std::string_view legacy = latin1 ? std::string_view(*latin1) : text;
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                      latin1 ? xcb_atom_t{XCB_ATOM_STRING} : x.Utf8String(), 8,
                      static_cast<std::uint32_t>(legacy.size()), legacy.data());
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, x.NetWmName(), x.Utf8String(), 8,
                      static_cast<std::uint32_t>(text.size()), text.data());
  xcb_flush(conn);
  return true;
}

TNameRequest AskWindowName(const TX11& x, TXWindow window) {
  return {AskProperty(x, window, x.NetWmName(), x.Utf8String()),
          AskProperty(x, window, XCB_ATOM_WM_NAME)};
}

std::optional<std::string> WindowNameReply(const TX11& x, const TNameRequest& request) {
  std::optional<std::string> name = PropertyBytes(x, request.NetWmName);
  xcb_atom_t type = XCB_ATOM_NONE;
  std::optional<std::string> legacy = PropertyBytes(x, request.WmName, &type);
  if (!name && legacy) {
    name = type == XCB_ATOM_STRING ? Utf8FromLatin1(*legacy) : std::move(*legacy);
  }
  return name;
}

std::optional<std::string> WindowName(const TX11& x, TXWindow window) {
  if (!x.Usable()) {
    return std::nullopt;
  }
  return WindowNameReply(x, AskWindowName(x, window));
}

}  // namespace korvalen
