// The program icon, the conversion window's arrow and the copy button's glyph,
// read back through Qt as the windows read them.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QSet>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string AssetPath(const std::string& name) {
  return std::string(KORVALEN_ASSETS_DIR) + "/" + name;
}

QImage Load(const std::string& name) {
  QImage image(QString::fromStdString(AssetPath(name)));
  return image.convertToFormat(QImage::Format_ARGB32);
}

std::vector<std::uint8_t> ReadFile(const std::string& name) {
  std::ifstream in(AssetPath(name), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// PNG colour type 3: the pixels are indices into a palette.
bool IsPalettePng(const std::vector<std::uint8_t>& png) {
  return png.size() > 25 && png[1] == 'P' && png[12] == 'I' && png[13] == 'H' && png[25] == 3;
}

// Distinct colours, counting every fully transparent pixel as one colour.
int CountColours(const QImage& image) {
  QSet<QRgb> seen;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      seen.insert(qAlpha(p) == 0 ? 0u : p);
    }
  }
  return static_cast<int>(seen.size());
}

bool IsYellow(QRgb p) {
  return qAlpha(p) > 128 && qRed(p) > 200 && qGreen(p) > 160 && qBlue(p) < 110;
}
bool IsGrey(QRgb p) {
  const int hi = std::max({qRed(p), qGreen(p), qBlue(p)});
  const int lo = std::min({qRed(p), qGreen(p), qBlue(p)});
  return qAlpha(p) > 128 && hi - lo < 16 && lo > 90 && hi < 230;
}
bool IsBlue(QRgb p) {
  return qAlpha(p) > 128 && qBlue(p) > qRed(p) + 60 && qBlue(p) > qGreen(p) + 30;
}
bool IsRed(QRgb p) {
  return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}
bool IsOlive(QRgb p) {
  return (p & 0xFFFFFFu) == 0x808000u;
}

int Count(const QImage& image, bool (*pred)(QRgb)) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      n += pred(image.pixel(x, y)) ? 1 : 0;
    }
  }
  return n;
}

TEST(ProgramIcon, Is32By32InSixteenColoursWithYellowRulersOverGrey) {
  const auto bytes = ReadFile("icons/korvalen-32.png");
  EXPECT_TRUE(IsPalettePng(bytes));
  const QImage icon = Load("icons/korvalen-32.png");
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.size(), QSize(32, 32));
  EXPECT_LE(CountColours(icon), 16);
  EXPECT_GT(Count(icon, IsYellow), 32 * 32 / 8);
  EXPECT_GT(Count(icon, IsGrey), 32 * 32 / 10);
  // A horizontal and a vertical ruler: a row and a column mostly yellow.
  int bestRow = 0, bestCol = 0;
  for (int i = 0; i < 32; ++i) {
    int row = 0, col = 0;
    for (int j = 0; j < 32; ++j) {
      row += IsYellow(icon.pixel(j, i)) ? 1 : 0;
      col += IsYellow(icon.pixel(i, j)) ? 1 : 0;
    }
    bestRow = std::max(bestRow, row);
    bestCol = std::max(bestCol, col);
  }
  EXPECT_GE(bestRow, 24);
  EXPECT_GE(bestCol, 24);
}

// The renderings for the desktop and for high-DPI screens (40, 48 and 64 are
// 1.25, 1.5 and 2 times the designed icon): the same design drawn smooth.
class LargeIcon : public testing::TestWithParam<int> {};

TEST_P(LargeIcon, HasItsSizeAndTheSameDesignSmoothly) {
  const int size = GetParam();
  const QImage icon = Load("icons/korvalen-" + std::to_string(size) + ".png");
  ASSERT_FALSE(icon.isNull()) << size;
  EXPECT_EQ(icon.size(), QSize(size, size));
  EXPECT_TRUE(icon.hasAlphaChannel());
  EXPECT_GT(Count(icon, IsYellow), size * size / 8);
  EXPECT_GT(Count(icon, IsGrey), size * size / 12);
  EXPECT_GT(CountColours(icon), 16) << "drawn smooth, not enlarged pixels";
}

INSTANTIATE_TEST_SUITE_P(Hicolor, LargeIcon, testing::Values(40, 48, 64, 128, 256));

TEST(ArrowIcon, IsABlueArrowPointingDownOnTransparency) {
  EXPECT_TRUE(IsPalettePng(ReadFile("arrow-down.png")));
  const QImage arrow = Load("arrow-down.png");
  ASSERT_FALSE(arrow.isNull());
  EXPECT_EQ(arrow.size(), QSize(32, 32));
  EXPECT_LE(CountColours(arrow), 16);
  int transparent = 0;
  std::vector<int> widths(32, 0);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      transparent += qAlpha(arrow.pixel(x, y)) == 0 ? 1 : 0;
      widths[static_cast<std::size_t>(y)] += IsBlue(arrow.pixel(x, y)) ? 1 : 0;
    }
  }
  EXPECT_GT(transparent, 32 * 32 / 3);
  // Pointing down: the head (the widest rows) is in the lower half, the
  // shaft above it is narrower, and the lowest blue row is the narrow tip.
  const auto widest = std::max_element(widths.begin(), widths.end());
  ASSERT_GT(*widest, 12);
  EXPECT_GE(widest - widths.begin(), 14);
  const auto lastRow = std::find_if(widths.rbegin(), widths.rend(), [](int w) { return w > 0; });
  const auto firstRow = std::find_if(widths.begin(), widths.end(), [](int w) { return w > 0; });
  EXPECT_LE(*lastRow, *widest / 4);
  EXPECT_LT(*firstRow, *widest * 2 / 3);
}

TEST(CopyGlyph, IsA4BitBitmapOfTwoImagesOnOlive) {
  const auto bmp = ReadFile("copy-glyph.bmp");
  ASSERT_GE(bmp.size(), 54u);
  const auto le16 = [&](std::size_t at) { return bmp[at] | bmp[at + 1] << 8; };
  const auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(le32(18), 32);
  EXPECT_EQ(le32(22), 16);
  EXPECT_EQ(le16(28), 4) << "bits per pixel";

  const QImage glyph = Load("copy-glyph.bmp");
  ASSERT_FALSE(glyph.isNull());
  ASSERT_EQ(glyph.size(), QSize(32, 16));
  // The program draws the bottom-left pixel's colour as transparent.
  EXPECT_TRUE(IsOlive(glyph.pixel(0, 15)));
  int red = 0, drawnRight = 0, coloured = 0, missing = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const QRgb normal = glyph.pixel(x, y);
      const QRgb disabled = glyph.pixel(x + 16, y);
      red += IsRed(normal) ? 1 : 0;
      if (!IsOlive(disabled)) {
        ++drawnRight;
        const int hi = std::max({qRed(disabled), qGreen(disabled), qBlue(disabled)});
        const int lo = std::min({qRed(disabled), qGreen(disabled), qBlue(disabled)});
        coloured += hi - lo > 16 ? 1 : 0;
      }
      // Every outline and every coloured part of the normal image is in the
      // greyed copy too.
      const bool darkNormal = !IsOlive(normal) && (normal & 0xFFFFFFu) != 0xFFFFFFu;
      missing += darkNormal && IsOlive(disabled) ? 1 : 0;
    }
  }
  EXPECT_GT(red, 8) << "the red arrow";
  EXPECT_GT(drawnRight, 40);
  EXPECT_EQ(coloured, 0) << "the disabled image is grey only";
  EXPECT_EQ(missing, 0);
}

}  // namespace
