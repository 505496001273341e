// The window search and activation against a real X server: a private Xvfb
// (and openbox, where a window manager matters) started by each test. The
// windows are made the way Qt makes them: a never-mapped application window
// named by the title, a client leader, and a shown window sharing the leader
// and _NET_WM_PID. The search runs in a child process, as a later instance
// would.

#include "platform/instance/InstanceWindow.h"
#include "platform/x11/X11.h"
#include "tests/support/Session.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using test::Eventually;

const TWindowClass kOwnClass{"korvalen", "Korvalen"};
const TWindowClass kForeignClass{"other", "Other"};
constexpr std::string_view kTitle = "Korvalen";

// A connection of the test's own (to `display`, $DISPLAY by default), for
// making windows on its first root and reading the outcome.
class TClient {
 public:
  explicit TClient(const char* display = nullptr) : FX(TX11::Open(display)) {}

  bool Connected() const { return FX.Usable() && !FX.Roots().empty(); }
  const TX11& X() const { return FX; }
  xcb_window_t Root() const { return FX.Roots().front(); }
  xcb_connection_t* Conn() const { return FX.Connection(); }

  xcb_atom_t Atom(std::string_view name) const {
    return FX.Atoms(std::span<const std::string_view>(&name, 1)).front();
  }

  xcb_window_t Make(const std::string& name, const std::optional<TWindowClass>& windowClass = {},
                    std::uint32_t pid = 0, xcb_window_t leader = XCB_WINDOW_NONE,
                    bool mapped = false) {
    const xcb_window_t w = xcb_generate_id(Conn());
    xcb_create_window(Conn(), XCB_COPY_FROM_PARENT, w, Root(), 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    SetWindowName(FX, w, name);
    if (windowClass) {
      SetText(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
              windowClass->Instance + '\0' + windowClass->Class + '\0');
    }
    if (pid != 0) {
      SetWord(w, Atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, pid);
      SetText(w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, "testhost");
    }
    if (leader != XCB_WINDOW_NONE) {
      SetWord(w, Atom("WM_CLIENT_LEADER"), XCB_ATOM_WINDOW, leader);
    }
    SetWord(w, Atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, Atom("_NET_WM_WINDOW_TYPE_NORMAL"));
    if (mapped) {
      xcb_map_window(Conn(), w);
    }
    FX.Sync();
    return w;
  }

  std::vector<std::uint32_t> Words(xcb_window_t w, xcb_atom_t property) const {
    return PropertyWords(FX, AskProperty(FX, w, property));
  }
  std::optional<std::string> Text(xcb_window_t w, xcb_atom_t property, xcb_atom_t* type) const {
    return PropertyBytes(FX, AskProperty(FX, w, property), type);
  }

  xcb_window_t Active() const {
    const auto words = Words(Root(), Atom("_NET_ACTIVE_WINDOW"));
    return words.empty() ? xcb_window_t{XCB_WINDOW_NONE} : words.front();
  }
  bool Hidden(xcb_window_t w) const {
    const auto state = Words(w, Atom("_NET_WM_STATE"));
    return std::find(state.begin(), state.end(), Atom("_NET_WM_STATE_HIDDEN")) != state.end();
  }
  bool Managed(xcb_window_t w) const {
    const auto state = Words(w, Atom("WM_STATE"));
    return !state.empty() && state.front() == 1;
  }
  bool Viewable(xcb_window_t w) const {
    const TXReply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(Conn(), xcb_get_window_attributes(Conn(), w), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
  }
  // The topmost managed window, or the topmost root child without a manager.
  xcb_window_t Topmost() const {
    const auto stacking = Words(Root(), Atom("_NET_CLIENT_LIST_STACKING"));
    if (!stacking.empty()) {
      return stacking.back();
    }
    const TXReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(Conn(), xcb_query_tree(Conn(), Root()), nullptr));
    const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
    return count > 0 ? xcb_query_tree_children(tree.get())[count - 1]
                     : xcb_window_t{XCB_WINDOW_NONE};
  }
  xcb_window_t Focus() const {
    const TXReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(Conn(), xcb_get_input_focus(Conn()), nullptr));
    return reply ? reply->focus : xcb_window_t{XCB_WINDOW_NONE};
  }
  void Raise(xcb_window_t w) {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(Conn(), w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    FX.Sync();
  }
  void Unmap(xcb_window_t w) {
    xcb_unmap_window(Conn(), w);
    FX.Sync();
  }
  void SetWord(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, std::uint32_t value) {
    xcb_change_property(Conn(), XCB_PROP_MODE_REPLACE, w, property, type, 32, 1, &value);
  }
  void Sync() const { FX.Sync(); }

 private:
  void SetText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& text) {
    xcb_change_property(Conn(), XCB_PROP_MODE_REPLACE, w, property, type, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
  }

  TX11 FX;
};

// FindAndActivate as a later instance runs it: in a process of its own.
TFindResult FindAndActivateInChild(std::string_view title, const TWindowClass& ownClass) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const TX11 x = TX11::Open();
    ::_exit(static_cast<int>(FindAndActivate(x, title, ownClass)));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  return static_cast<TFindResult>(WEXITSTATUS(status));
}

bool ActivatedInChild(std::string_view title, const TWindowClass& ownClass) {
  return FindAndActivateInChild(title, ownClass) == TFindResult::Activated;
}

#define REQUIRE_DISPLAY(display)                                             \
  if (!test::OnPath("Xvfb") || !test::OnPath("openbox")) {                   \
    GTEST_SKIP() << "Xvfb and openbox are needed (scripts/install-deps.sh)"; \
  }                                                                          \
  ASSERT_TRUE((display).Ready()) << "the private X server did not come up"

struct TScene {
  const char* Label;
  bool LinkByLeader;  // the shown window shares the application window's leader
  bool LinkByPid;     // ... or its _NET_WM_PID
  bool Minimised;     // else covered by another program's window
  bool Foreign;       // another program's window also carries the title, found first
  bool Ours;          // the earlier instance's windows exist at all
  bool Activated;
  bool StartedThroughLink = false;  // its resource name is another start name's
};

class FindAndActivateScene : public ::testing::TestWithParam<TScene> {};

TEST_P(FindAndActivateScene, BringsForwardOnlyTheEarlierInstance) {
  const TScene& scene = GetParam();
  test::TPrivateXServer display({.WindowManager = true});
  REQUIRE_DISPLAY(display);
  TClient x;
  ASSERT_TRUE(x.Connected());

  // The later instance's own client leader carries the program's name too
  // (Qt names it so) and has nothing shown: the search must pass over it.
  x.Make(std::string(kTitle));
  xcb_window_t foreignShown = XCB_WINDOW_NONE;
  if (scene.Foreign) {
    const xcb_window_t leader = x.Make("other");
    x.Make(std::string(kTitle), kForeignClass, 5151, leader, false);
    foreignShown = x.Make("Other's window", kForeignClass, 5151, leader, true);
  }
  xcb_window_t shown = XCB_WINDOW_NONE;
  if (scene.Ours) {
    const xcb_window_t leader = x.Make(std::string(kTitle));
    x.SetWord(leader, x.Atom("WM_CLIENT_LEADER"), XCB_ATOM_WINDOW, leader);
    x.Make(std::string(kTitle), kOwnClass, 4242, leader, false);
    const TWindowClass started =
        scene.StartedThroughLink ? TWindowClass{"kc", kOwnClass.Class} : kOwnClass;
    shown = x.Make("Conversion", started, scene.LinkByPid ? 4242u : 4343u,
                   scene.LinkByLeader ? leader : xcb_window_t{XCB_WINDOW_NONE}, true);
    ASSERT_TRUE(Eventually([&] { return x.Managed(shown); }));
  }
  const xcb_window_t cover = x.Make("Cover", kForeignClass, 6161, 0, true);
  ASSERT_TRUE(Eventually([&] { return x.Active() == cover; }));
  if (scene.Ours && scene.Minimised) {
    ASSERT_EQ(std::system(("xdotool windowminimize --sync " + std::to_string(shown)).c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return x.Hidden(shown) && !x.Viewable(shown); }));
  }

  // The later instance's own leader always carries the title here, so a
  // title window is found even where nothing of ours is shown.
  EXPECT_EQ(FindAndActivateInChild(kTitle, kOwnClass),
            scene.Activated ? TFindResult::Activated : TFindResult::NothingToActivate);

  if (scene.Activated) {
    EXPECT_TRUE(Eventually([&] { return x.Active() == shown; }));
    EXPECT_FALSE(x.Hidden(shown));
    EXPECT_TRUE(x.Viewable(shown));
    EXPECT_EQ(x.Topmost(), shown);
  } else {
    // Give a wrongly sent request the time to show, then check nothing moved.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(x.Active(), cover);
    EXPECT_EQ(x.Topmost(), cover);
    if (scene.Ours && scene.Minimised) {
      EXPECT_TRUE(x.Hidden(shown));
    }
  }
  if (foreignShown != XCB_WINDOW_NONE) {
    EXPECT_NE(x.Active(), foreignShown);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, FindAndActivateScene,
    ::testing::Values(TScene{"MinimisedIsRestored", true, true, true, false, true, true},
                      TScene{"CoveredIsRaised", true, true, false, false, true, true},
                      TScene{"LinkedByPidAlone", false, true, false, false, true, true},
                      TScene{"LinkedByLeaderAlone", true, false, true, false, true, true},
                      TScene{"ForeignFirstThenOurs", true, true, true, true, true, true},
                      TScene{"ForeignNameOnly", true, true, false, true, false, false},
                      TScene{"StartedThroughALink", true, true, true, false, true, true, true},
                      TScene{"SameClassButUnrelated", false, false, false, false, true, false},
                      TScene{"NothingNamed", true, true, false, false, false, false}),
    [](const ::testing::TestParamInfo<TScene>& row) { return row.param.Label; });

// An earlier instance's title window and shown window under another
// program's window; activating it raises and focuses the shown one.
xcb_window_t ExpectCoveredInstanceActivated(TClient& x, xcb_window_t& cover) {
  const xcb_window_t leader = x.Make("korvalen");
  x.Make(std::string(kTitle), kOwnClass, 4242, leader, false);
  const xcb_window_t shown = x.Make("Conversion", kOwnClass, 4242, leader, true);
  cover = x.Make("Cover", kForeignClass, 6161, 0, true);
  EXPECT_EQ(x.Topmost(), cover);

  EXPECT_TRUE(ActivatedInChild(kTitle, kOwnClass));
  x.Sync();
  EXPECT_EQ(x.Topmost(), shown);
  EXPECT_EQ(x.Focus(), shown);
  return shown;
}

TEST(FindAndActivateWithoutWindowManager, RaisesAndFocusesTheWindowItself) {
  test::TPrivateXServer display;
  REQUIRE_DISPLAY(display);
  TClient x;
  xcb_window_t cover = 0;
  const xcb_window_t shown = ExpectCoveredInstanceActivated(x, cover);

  // Iconic by ICCCM's WM_STATE alone: mapping it is the way back.
  x.Unmap(shown);
  x.SetWord(shown, x.Atom("WM_STATE"), x.Atom("WM_STATE"), 3);
  x.Raise(cover);
  EXPECT_TRUE(ActivatedInChild(kTitle, kOwnClass));
  x.Sync();
  EXPECT_TRUE(x.Viewable(shown));
  EXPECT_EQ(x.Focus(), shown);
}

// The lock covers every screen of a server, so the search does too: a
// start on screen 0 finds the instance whose windows are on screen 1 (where
// no window manager runs).
TEST(FindAndActivateOnAnotherScreen, FindsAndFocusesTheEarlierInstance) {
  test::TPrivateXServer display({.Screens = 2});
  REQUIRE_DISPLAY(display);
  TClient x((display.Display() + ".1").c_str());
  ASSERT_TRUE(x.Connected());
  xcb_window_t cover = 0;
  ExpectCoveredInstanceActivated(x, cover);
}

TEST(SetWindowName, WritesNoLossyNameAndBlankingHidesTheWindowFromTheSearch) {
  test::TPrivateXServer display({.WindowManager = true});
  REQUIRE_DISPLAY(display);
  TClient x;
  const xcb_window_t leader = x.Make("korvalen");
  const xcb_window_t app = x.Make("Before", kOwnClass, 4242, leader, false);
  const xcb_window_t shown = x.Make("Conversion", kOwnClass, 4242, leader, true);
  ASSERT_TRUE(Eventually([&] { return x.Managed(shown); }));

  struct TRow {
    std::string Text;
    xcb_atom_t LegacyType;
    std::string Legacy;  // WM_NAME's bytes
  };
  const xcb_atom_t utf8 = x.Atom("UTF8_STRING");
  const std::vector<TRow> rows = {
      {"Korvalen", XCB_ATOM_STRING, "Korvalen"},
      {"Zürich", XCB_ATOM_STRING,
       "Z\xFC"
       "rich"},                        // Latin-1 throughout
      {"Zürich ✓", utf8, "Zürich ✓"},  // beyond Latin-1: UTF-8 keeps it whole
      {"", XCB_ATOM_STRING, ""}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text);
    ASSERT_TRUE(SetWindowName(x.X(), app, row.Text));
    xcb_atom_t type = XCB_ATOM_NONE;
    EXPECT_EQ(x.Text(app, XCB_ATOM_WM_NAME, &type), row.Legacy);
    EXPECT_EQ(type, row.LegacyType);
    EXPECT_EQ(x.Text(app, x.Atom("_NET_WM_NAME"), &type), row.Text);
    EXPECT_EQ(type, utf8);
    // A reader of WM_NAME alone gets the whole name back.
    xcb_delete_property(x.Conn(), app, x.Atom("_NET_WM_NAME"));
    EXPECT_EQ(WindowName(x.X(), app), row.Text);
    ASSERT_TRUE(SetWindowName(x.X(), app, row.Text));
    x.Sync();
    EXPECT_EQ(ActivatedInChild(row.Text, kOwnClass), !row.Text.empty());
  }
  EXPECT_EQ(FindAndActivateInChild(kTitle, kOwnClass), TFindResult::NoTitleWindow);
}

TEST(ReadWindowClass, ReadsBothPartsOrLeavesTheResultAlone) {
  test::TPrivateXServer display;
  REQUIRE_DISPLAY(display);
  TClient x;
  const xcb_window_t classed = x.Make("a", kOwnClass, 0, 0, false);
  const xcb_window_t bare = x.Make("b");

  TWindowClass read;
  ASSERT_TRUE(ReadWindowClass(x.X(), classed, read));
  EXPECT_EQ(read, kOwnClass);
  const TWindowClass untouched{"keep", "Keep"};
  read = untouched;
  EXPECT_FALSE(ReadWindowClass(x.X(), bare, read));
  EXPECT_FALSE(ReadWindowClass(x.X(), 0x7fffff, read));
  EXPECT_EQ(read, untouched);
}

// Reassembles the startup-notification messages sent to the root window, as
// a launcher does.
std::vector<std::string> StartupMessages(TClient& x, std::size_t count) {
  const xcb_atom_t begin = x.Atom("_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = x.Atom("_NET_STARTUP_INFO");
  std::vector<std::string> messages;
  std::string current;
  while (messages.size() < count) {
    std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_wait_for_event(x.Conn()),
                                                                     &std::free);
    if (!event) {
      break;
    }
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) {
      continue;
    }
    const auto* piece = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
    if (piece->type != begin && piece->type != more) {
      continue;
    }
    if (piece->type == begin) {
      current.clear();
    }
    const auto* bytes = reinterpret_cast<const char*>(piece->data.data8);
    const std::string chunk(bytes, ::strnlen(bytes, 20));
    current += chunk;
    if (chunk.size() < 20) {
      messages.push_back(current);
    }
  }
  return messages;
}

TEST(EndStartupSequence, SendsOneRemoveMessageQuotedWhereNeeded) {
  test::TPrivateXServer display;
  REQUIRE_DISPLAY(display);
  TClient x;
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(x.Conn(), x.Root(), XCB_CW_EVENT_MASK, &mask);
  x.Sync();
  struct TRow {
    std::string Id;
    std::string Message;
  };
  // Lengths around the 20-byte pieces: "remove: ID=" takes 11 of the first.
  const std::vector<TRow> rows = {
      {"launcher-42_TIME1234", "remove: ID=launcher-42_TIME1234"},
      {"12345678", "remove: ID=12345678"},
      {"a b\"c\\d", "remove: ID=\"a b\\\"c\\\\d\""},
  };
  const TX11 sender = TX11::Open();
  for (const TRow& row : rows) {
    EXPECT_TRUE(EndStartupSequence(sender, row.Id));
  }
  EXPECT_FALSE(EndStartupSequence(sender, ""));
  std::vector<std::string> expected;
  expected.reserve(rows.size());
  for (const TRow& row : rows) {
    expected.push_back(row.Message);
  }
  EXPECT_EQ(StartupMessages(x, rows.size()), expected);
}

TEST(NoXServer, NothingIsFoundAndNothingFails) {
  const std::vector<std::optional<std::string>> displays = {
      std::nullopt, std::string(""), std::string(":4711"), std::string("not a display")};
  for (const auto& value : displays) {
    SCOPED_TRACE(value.value_or("(unset)"));
    const test::TScopedEnv display("DISPLAY", value);
    const TX11 x = TX11::Open();
    EXPECT_FALSE(x.Usable());
    TWindowClass read = kForeignClass;
    EXPECT_EQ(FindAndActivate(x, kTitle, kOwnClass), TFindResult::NoTitleWindow);
    EXPECT_FALSE(SetWindowName(x, 0x400006, ""));
    EXPECT_FALSE(EndStartupSequence(x, "id"));
    EXPECT_FALSE(ReadWindowClass(x, 0x400006, read));
    EXPECT_EQ(read, kForeignClass);
  }
}

}  // namespace
}  // namespace korvalen
