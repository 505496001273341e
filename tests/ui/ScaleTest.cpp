#include "platform/qt/Fonts.h"
#include "platform/qt/LayoutLoader.h"
#include "ui/UfrmConvert.h"

#include <QPointer>

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

}  // namespace
}  // namespace korvalen
