#include "platform/qt/Fonts.h"
#include "platform/qt/LayoutLoader.h"
#include "ui/UfrmConvert.h"
#include "ui/UfrmMain.h"

#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace korvalen {
namespace {

// Before main creates the application: an offscreen screen of 144 dpi, and
// no scaling of whole windows by Qt, so the text grows and the layout must.
const bool GScreenSet = [] {
  setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
  setenv("QT_QPA_PLATFORM", "offscreen:configfile=" KORVALEN_SCREEN_144DPI, 1);
  return true;
}();

// The font is 16.5 px rounded, and every position and size grows with the
// text.
TEST(ScaleTest, PositionsAndSizesGrowWithTheSystemsTextHeight) {
  ASSERT_TRUE(GScreenSet);
  ASSERT_DOUBLE_EQ(LogicalDpi(), 144.0);
  const double scale = LayoutScale(13, SystemTextHeight(QStringLiteral("MS Sans Serif"), 11, 13));
  EXPECT_GT(scale, 1.35);
  EXPECT_LT(scale, 1.65);
  const auto scaled = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };

  QPointer<TfrmConvert> form = new TfrmConvert(nullptr);
  EXPECT_EQ(form->font().pixelSize(), 17);
  EXPECT_EQ(form->size(), QSize(scaled(382), scaled(284)));
  EXPECT_EQ(form->list2->geometry(), QRect(scaled(198), scaled(46), scaled(173), scaled(153)));
  EXPECT_EQ(form->BitBtn1->geometry(), QRect(scaled(268), scaled(248), scaled(31), scaled(27)));
  // A picture keeps its own size.
  EXPECT_EQ(form->Image2->size(), QSize(32, 32));
  delete form.data();
}

// Texts and positions grow with the system's text; the picture keeps its
// own pixels and still fills the whole client area.
TEST(WelcomeScaleTest, LayoutGrowsWithTheTextThePictureDoesNot) {
  ASSERT_TRUE(GScreenSet);
  ASSERT_DOUBLE_EQ(LogicalDpi(), 144.0);
  QTemporaryDir runtimeDir;
  setenv("XDG_RUNTIME_DIR", qPrintable(runtimeDir.path()), 1);
  const double scale = LayoutScale(13, SystemTextHeight(QStringLiteral("MS Sans Serif"), 11, 13));
  const auto scaled = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };

  QPointer<TfrmMain> form = new TfrmMain;
  EXPECT_EQ(form->size(), QSize(scaled(542), scaled(493)));
  EXPECT_EQ(form->Button1->geometry(), QRect(scaled(452), scaled(458), scaled(75), scaled(25)));
  EXPECT_EQ(form->Label5->geometry(), QRect(scaled(4), scaled(264), scaled(245), scaled(101)));
  EXPECT_EQ(form->Label1->pos(), QPoint(scaled(12), scaled(374)));
  EXPECT_EQ(form->Label2->font().pixelSize(), 53);
  EXPECT_EQ(form->Label5->font().pixelSize(), 24);
  EXPECT_EQ(form->Image1->geometry(), form->rect());
  EXPECT_EQ(form->Image1->pixmap().size(), QSize(550, 500));
  // The wrapped texts still fit their grown boxes.
  for (const TLabel* label : {form->Label4, form->Label5, form->Label6}) {
    EXPECT_LE(label->heightForWidth(label->width()), label->height())
        << label->objectName().toStdString();
  }
  delete form.data();
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace korvalen
