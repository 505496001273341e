// Runs on a real X server (ctest starts it under xvfb-run): the title window
// is what another process finds by name.

#include "platform/qt/Application.h"
#include "platform/x11/X11.h"

#include <QWindow>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvalen {
namespace {

class X11TitleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(X().Usable()) << "needs QT_QPA_PLATFORM=xcb";
    FWindow = static_cast<xcb_window_t>(Application()->TitleWindowHandle());
  }
  void TearDown() override { Application()->SetTitleWindowText(Application()->Title()); }

  static const TX11& X() { return Application()->X11(); }

  // The root's children named text, as a search by name reads them.
  static std::vector<xcb_window_t> Named(const std::string& text) {
    xcb_connection_t* conn = X().Connection();
    const TXReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(conn, xcb_query_tree(conn, X().Roots().front()), nullptr));
    std::vector<xcb_window_t> found;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      if (WindowName(X(), children[i]) == text) {
        found.push_back(children[i]);
      }
    }
    return found;
  }

  xcb_window_t FWindow = XCB_WINDOW_NONE;
};

TEST_F(X11TitleWindowTest, OnlyTheUnmappedTitleWindowCarriesTheTitle) {
  const std::string title = Application()->Title().toStdString();
  ASSERT_EQ(title, "platform_qt_x11_test");
  EXPECT_EQ(Named(title), std::vector<xcb_window_t>{FWindow});
  xcb_connection_t* conn = X().Connection();
  const TXReply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, FWindow), nullptr));
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->map_state, XCB_MAP_STATE_UNMAPPED);
}

TEST_F(X11TitleWindowTest, ATextIsWrittenWholeAndABlankOneMatchesNoSearch) {
  const std::string title = Application()->Title().toStdString();
  // Beyond Latin-1 too: WM_NAME once lost such characters.
  for (const QString& text : {QStringLiteral("Zürich ✓"), QString()}) {
    Application()->SetTitleWindowText(text);
    xcb_atom_t type = XCB_ATOM_NONE;
    EXPECT_EQ(PropertyBytes(X(), AskProperty(X(), FWindow, XCB_ATOM_WM_NAME), &type),
              text.toStdString());
    EXPECT_EQ(WindowName(X(), FWindow), text.toStdString());
    EXPECT_TRUE(Named(title).empty());
  }
  Application()->SetTitleWindowText(Application()->Title());
  EXPECT_EQ(Named(title), std::vector<xcb_window_t>{FWindow});
}

}  // namespace
}  // namespace korvalen
