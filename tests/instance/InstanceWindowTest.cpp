// The window search and activation against a real X server: a private Xvfb
// (and openbox, where a window manager matters) started by each test. The
// windows are made with raw xcb the way Qt makes them: a never-mapped
// application window named by the title, a client leader, and a shown window
// sharing the leader and _NET_WM_PID. The search runs in a child process, as
// a later instance would.

#include "platform/instance/InstanceWindow.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvalen {
namespace {

using namespace std::chrono_literals;

const TWindowClass kOwnClass{"korvalen", "Korvalen"};
const TWindowClass kForeignClass{"other", "Other"};
constexpr std::string_view kTitle = "Korvalen";

// Waits for a condition the window manager brings about in its own time.
bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 250; ++i) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

pid_t Spawn(const std::vector<std::string>& argv, int keepFd = -1) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Never outlive the test, even when it crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (keepFd >= 0) {
      ::fcntl(keepFd, F_SETFD, 0);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  if (pid > 0) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
}

// A connection of the test's own, for making windows and reading the outcome.
class TClient {
 public:
  TClient() : FConn(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(FConn) == 0) {
      FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConn)).data->root;
    }
  }
  ~TClient() { xcb_disconnect(FConn); }
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;

  bool Connected() const { return FRoot != XCB_WINDOW_NONE; }
  xcb_window_t Root() const { return FRoot; }
  xcb_connection_t* Conn() const { return FConn; }

  xcb_atom_t Atom(const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            FConn, xcb_intern_atom(FConn, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  xcb_window_t Make(const std::string& name, const std::optional<TWindowClass>& windowClass = {},
                    std::uint32_t pid = 0, xcb_window_t leader = XCB_WINDOW_NONE,
                    bool mapped = false) {
    const xcb_window_t w = xcb_generate_id(FConn);
    xcb_create_window(FConn, XCB_COPY_FROM_PARENT, w, FRoot, 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    SetText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, name);
    SetText(w, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), name);
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
      xcb_map_window(FConn, w);
    }
    Sync();
    return w;
  }

  std::vector<std::uint32_t> Words(xcb_window_t w, xcb_atom_t property) {
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            FConn, xcb_get_property(FConn, 0, w, property, XCB_ATOM_ANY, 0, 1024), nullptr),
        &std::free);
    if (!reply || reply->format != 32) {
      return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {data, data + xcb_get_property_value_length(reply.get()) / 4};
  }
  std::optional<std::string> Text(xcb_window_t w, xcb_atom_t property, xcb_atom_t* type) {
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            FConn, xcb_get_property(FConn, 0, w, property, XCB_ATOM_ANY, 0, 1024), nullptr),
        &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE) {
      return std::nullopt;
    }
    *type = reply->type;
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  }

  xcb_window_t Active() {
    const auto words = Words(FRoot, Atom("_NET_ACTIVE_WINDOW"));
    return words.empty() ? xcb_window_t{XCB_WINDOW_NONE} : words.front();
  }
  bool Hidden(xcb_window_t w) {
    const auto state = Words(w, Atom("_NET_WM_STATE"));
    return std::find(state.begin(), state.end(), Atom("_NET_WM_STATE_HIDDEN")) != state.end();
  }
  bool Managed(xcb_window_t w) {
    const auto state = Words(w, Atom("WM_STATE"));
    return !state.empty() && state.front() == 1;
  }
  bool Viewable(xcb_window_t w) {
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
        xcb_get_window_attributes_reply(FConn, xcb_get_window_attributes(FConn, w), nullptr),
        &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
  }
  // The topmost managed window, or the topmost root child without a manager.
  xcb_window_t Topmost() {
    const auto stacking = Words(FRoot, Atom("_NET_CLIENT_LIST_STACKING"));
    if (!stacking.empty()) {
      return stacking.back();
    }
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(FConn, xcb_query_tree(FConn, FRoot), nullptr), &std::free);
    const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
    return count > 0 ? xcb_query_tree_children(tree.get())[count - 1]
                     : xcb_window_t{XCB_WINDOW_NONE};
  }
  xcb_window_t Focus() {
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> reply(
        xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr), &std::free);
    return reply ? reply->focus : xcb_window_t{XCB_WINDOW_NONE};
  }
  void Raise(xcb_window_t w) {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(FConn, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    Sync();
  }
  void Unmap(xcb_window_t w) {
    xcb_unmap_window(FConn, w);
    Sync();
  }
  void SetWord(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, std::uint32_t value) {
    xcb_change_property(FConn, XCB_PROP_MODE_REPLACE, w, property, type, 32, 1, &value);
  }
  void Sync() { std::free(xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr)); }

 private:
  void SetText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& text) {
    xcb_change_property(FConn, XCB_PROP_MODE_REPLACE, w, property, type, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
  }

  xcb_connection_t* FConn;
  xcb_window_t FRoot = XCB_WINDOW_NONE;
};

// A private X server on a free display (Xvfb picks it and reports it through
// -displayfd), no TCP, and optionally openbox on it. DISPLAY points at it
// while the object lives.
class TPrivateDisplay {
 public:
  explicit TPrivateDisplay(bool windowManager) {
    if (const char* old = std::getenv("DISPLAY")) {
      FOldDisplay = old;
    }
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
      return;
    }
    FXvfb = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen", "0",
                   "1024x768x24"},
                  fds[1]);
    ::close(fds[1]);
    std::string number;
    pollfd pfd{fds[0], POLLIN, 0};
    char c;
    while (::poll(&pfd, 1, 15000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') {
      number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
      return;
    }
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    if (windowManager) {
      // _NET_SUPPORTING_WM_CHECK appears before openbox handles map
      // requests; its start-up command runs once it does.
      std::string ready = (std::filesystem::temp_directory_path() / "korvalen-wm-XXXXXX").string();
      const int fd = ::mkstemp(ready.data());
      if (fd < 0) {
        return;
      }
      ::close(fd);
      ::unlink(ready.c_str());
      FOpenbox = Spawn({"openbox", "--sm-disable", "--startup", "touch " + ready});
      const bool started = Eventually([&] { return ::access(ready.c_str(), F_OK) == 0; });
      ::unlink(ready.c_str());
      if (!started) {
        return;
      }
    }
    FReady = true;
  }
  ~TPrivateDisplay() {
    Stop(FOpenbox);
    Stop(FXvfb);
    if (FOldDisplay) {
      ::setenv("DISPLAY", FOldDisplay->c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
  }
  TPrivateDisplay(const TPrivateDisplay&) = delete;
  TPrivateDisplay& operator=(const TPrivateDisplay&) = delete;

  bool Ready() const { return FReady; }

 private:
  pid_t FXvfb = -1;
  pid_t FOpenbox = -1;
  bool FReady = false;
  std::optional<std::string> FOldDisplay;
};

// FindAndActivate as a later instance runs it: in a process of its own.
TFindResult FindAndActivateInChild(std::string_view title, const TWindowClass& ownClass) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(static_cast<int>(FindAndActivate(title, ownClass)));
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
  if (!OnPath("Xvfb") || !OnPath("openbox")) {                               \
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
  TPrivateDisplay display(true);
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

TEST(FindAndActivateWithoutWindowManager, RaisesAndFocusesTheWindowItself) {
  TPrivateDisplay display(false);
  REQUIRE_DISPLAY(display);
  TClient x;
  const xcb_window_t leader = x.Make("korvalen");
  x.Make(std::string(kTitle), kOwnClass, 4242, leader, false);
  const xcb_window_t shown = x.Make("Conversion", kOwnClass, 4242, leader, true);
  const xcb_window_t cover = x.Make("Cover", kForeignClass, 6161, 0, true);
  ASSERT_EQ(x.Topmost(), cover);

  EXPECT_TRUE(ActivatedInChild(kTitle, kOwnClass));
  x.Sync();
  EXPECT_EQ(x.Topmost(), shown);
  EXPECT_EQ(x.Focus(), shown);

  // Iconic by ICCCM's WM_STATE alone: mapping it is the way back.
  x.Unmap(shown);
  x.SetWord(shown, x.Atom("WM_STATE"), x.Atom("WM_STATE"), 3);
  x.Raise(cover);
  EXPECT_TRUE(ActivatedInChild(kTitle, kOwnClass));
  x.Sync();
  EXPECT_TRUE(x.Viewable(shown));
  EXPECT_EQ(x.Focus(), shown);
}

TEST(SetWindowName, SetsBothNamesAndBlankingHidesTheWindowFromTheSearch) {
  TPrivateDisplay display(true);
  REQUIRE_DISPLAY(display);
  TClient x;
  const xcb_window_t leader = x.Make("korvalen");
  const xcb_window_t app = x.Make("Before", kOwnClass, 4242, leader, false);
  const xcb_window_t shown = x.Make("Conversion", kOwnClass, 4242, leader, true);
  ASSERT_TRUE(Eventually([&] { return x.Managed(shown); }));

  struct TRow {
    std::string Text;
    xcb_atom_t LegacyType;
  };
  const std::vector<TRow> rows = {
      {"Korvalen", XCB_ATOM_STRING}, {"Zürich ✓", x.Atom("UTF8_STRING")}, {"", XCB_ATOM_STRING}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Text);
    ASSERT_TRUE(SetWindowName(app, row.Text));
    xcb_atom_t type = XCB_ATOM_NONE;
    EXPECT_EQ(x.Text(app, XCB_ATOM_WM_NAME, &type), row.Text);
    EXPECT_EQ(type, row.LegacyType);
    EXPECT_EQ(x.Text(app, x.Atom("_NET_WM_NAME"), &type), row.Text);
    EXPECT_EQ(type, x.Atom("UTF8_STRING"));
    // The name is in place for any other connection by the time the call returns.
    EXPECT_EQ(ActivatedInChild(row.Text, kOwnClass), !row.Text.empty());
  }
  EXPECT_EQ(FindAndActivateInChild(kTitle, kOwnClass), TFindResult::NoTitleWindow);
  EXPECT_FALSE(SetWindowName(0x7fffff, "x")) << "no such window";
}

TEST(ReadWindowClass, ReadsBothPartsOrLeavesTheResultAlone) {
  TPrivateDisplay display(false);
  REQUIRE_DISPLAY(display);
  TClient x;
  const xcb_window_t classed = x.Make("a", kOwnClass, 0, 0, false);
  const xcb_window_t bare = x.Make("b");

  TWindowClass read;
  ASSERT_TRUE(ReadWindowClass(classed, read));
  EXPECT_EQ(read, kOwnClass);
  const TWindowClass untouched{"keep", "Keep"};
  read = untouched;
  EXPECT_FALSE(ReadWindowClass(bare, read));
  EXPECT_FALSE(ReadWindowClass(0x7fffff, read));
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
  TPrivateDisplay display(false);
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
  for (const TRow& row : rows) {
    EXPECT_TRUE(EndStartupSequence(row.Id));
  }
  EXPECT_FALSE(EndStartupSequence(""));
  std::vector<std::string> expected;
  for (const TRow& row : rows) {
    expected.push_back(row.Message);
  }
  EXPECT_EQ(StartupMessages(x, rows.size()), expected);
}

TEST(NoXServer, NothingIsFoundAndNothingFails) {
  const char* old = std::getenv("DISPLAY");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  const std::vector<std::optional<std::string>> displays = {
      std::nullopt, std::string(""), std::string(":4711"), std::string("not a display")};
  for (const auto& value : displays) {
    SCOPED_TRACE(value.value_or("(unset)"));
    if (value) {
      ::setenv("DISPLAY", value->c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
    TWindowClass read = kForeignClass;
    EXPECT_EQ(FindAndActivate(kTitle, kOwnClass), TFindResult::NoTitleWindow);
    EXPECT_FALSE(SetWindowName(0x400006, ""));
    EXPECT_FALSE(EndStartupSequence("id"));
    EXPECT_FALSE(ReadWindowClass(0x400006, read));
    EXPECT_EQ(read, kForeignClass);
  }
  if (saved) {
    ::setenv("DISPLAY", saved->c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
}

}  // namespace
}  // namespace korvalen
