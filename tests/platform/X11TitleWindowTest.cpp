// Runs on a real X server (ctest starts it under xvfb-run): the title window
// is what another process finds by name.

#include "platform/qt/Application.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWindow>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace korvalen {
namespace {

struct TFree {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using TReply = std::unique_ptr<T, TFree>;

class X11TitleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr) << "needs QT_QPA_PLATFORM=xcb";
    FConnection = x11->connection();
    FWindow = static_cast<xcb_window_t>(Application()->TitleWindowHandle());
  }
  void TearDown() override { Application()->SetTitleWindowText(Application()->Title()); }

  xcb_atom_t Atom(const char* name) const {
    TReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        FConnection,
        xcb_intern_atom(FConnection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  std::string Text(xcb_window_t window, xcb_atom_t property) const {
    TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        FConnection, xcb_get_property(FConnection, 0, window, property, XCB_ATOM_ANY, 0, 1024),
        nullptr));
    if (!reply) {
      return "<none>";
    }
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  }

  // The root's children whose WM_NAME or _NET_WM_NAME is text.
  std::vector<xcb_window_t> Named(const std::string& text) const {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
    TReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, screen->root), nullptr));
    std::vector<xcb_window_t> found;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      if (Text(children[i], XCB_ATOM_WM_NAME) == text ||
          Text(children[i], Atom("_NET_WM_NAME")) == text) {
        found.push_back(children[i]);
      }
    }
    return found;
  }

  xcb_connection_t* FConnection = nullptr;
  xcb_window_t FWindow = XCB_WINDOW_NONE;
};

TEST_F(X11TitleWindowTest, OnlyTheUnmappedTitleWindowCarriesTheTitle) {
  const std::string title = Application()->Title().toStdString();
  ASSERT_EQ(title, "platform_qt_x11_test");
  EXPECT_EQ(Named(title), std::vector<xcb_window_t>{FWindow});
  TReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
      FConnection, xcb_get_window_attributes(FConnection, FWindow), nullptr));
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->map_state, XCB_MAP_STATE_UNMAPPED);
}

TEST_F(X11TitleWindowTest, BlankedTitleWindowMatchesNoSearch) {
  const std::string title = Application()->Title().toStdString();
  Application()->SetTitleWindowText(QString());
  EXPECT_EQ(Text(FWindow, XCB_ATOM_WM_NAME), "");
  EXPECT_EQ(Text(FWindow, Atom("_NET_WM_NAME")), "");
  EXPECT_TRUE(Named(title).empty());
  Application()->SetTitleWindowText(Application()->Title());
  EXPECT_EQ(Named(title), std::vector<xcb_window_t>{FWindow});
}

}  // namespace
}  // namespace korvalen
