// selection-owner NAME: prints the window that owns the X selection NAME
// (e.g. CLIPBOARD_MANAGER) in decimal, or 0 when nobody owns it; exits 1
// without a display. The shell tools at hand read only the PRIMARY and
// CLIPBOARD selections.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: selection-owner NAME\n");
    return 2;
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    std::fprintf(stderr, "selection-owner: cannot open the display\n");
    return 1;
  }
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(argv[1])), argv[1]),
      nullptr);
  xcb_get_selection_owner_reply_t* owner =
      atom != nullptr ? xcb_get_selection_owner_reply(
                            connection, xcb_get_selection_owner(connection, atom->atom), nullptr)
                      : nullptr;
  const int status = owner != nullptr ? 0 : 1;
  if (owner != nullptr) {
    std::printf("%u\n", owner->owner);
  }
  std::free(owner);
  std::free(atom);
  xcb_disconnect(connection);
  return status;
}
