// The renderings for high-DPI screens beside each picture: the size the
// ratio asks for, the designed file's format, and the same picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QString>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

QString AssetPath(const QString& name) {
  return QStringLiteral(KORVALEN_ASSETS_DIR "/") + name;
}

QString RenderingName(const QString& designed, const char* ratio) {
  const qsizetype dot = designed.lastIndexOf(QLatin1Char('.'));
  return designed.left(dot) + QLatin1Char('@') + QLatin1String(ratio) + QLatin1Char('x') +
         designed.mid(dot);
}

// Over grey, so transparency counts as a colour of its own.
QImage OverGrey(const QImage& image) {
  QImage out(image.size(), QImage::Format_RGB32);
  out.fill(qRgb(128, 128, 128));
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      if (qAlpha(argb.pixel(x, y)) == 255) {
        out.setPixel(x, y, argb.pixel(x, y));
      }
    }
  }
  return out;
}

struct TPicture {
  const char* Name;
  // Mean difference per channel allowed between the designed picture and the
  // rendering sampled at the centres of the designed pixels: a shift by one
  // designed pixel, or a mirrored rendering, goes well past it.
  double Tolerance;
};

class Rendering : public testing::TestWithParam<std::tuple<TPicture, const char*>> {};

TEST_P(Rendering, IsTheDesignedPictureAtItsRatio) {
  const auto [picture, ratioText] = GetParam();
  const double ratio = std::atof(ratioText);
  const QString designedName = QString::fromLatin1(picture.Name);
  const QString renderingName = RenderingName(designedName, ratioText);
  QImageReader designedReader(AssetPath(designedName));
  QImageReader renderingReader(AssetPath(renderingName));
  const QImage designed = OverGrey(designedReader.read());
  const QImage rendering = OverGrey(renderingReader.read());
  ASSERT_FALSE(designed.isNull());
  ASSERT_FALSE(rendering.isNull()) << renderingName.toStdString();
  EXPECT_EQ(renderingReader.format(), designedReader.format());
  EXPECT_EQ(rendering.size(), QSize(static_cast<int>(std::ceil(designed.width() * ratio)),
                                    static_cast<int>(std::ceil(designed.height() * ratio))));

  double difference = 0;
  for (int y = 0; y < designed.height(); ++y) {
    for (int x = 0; x < designed.width(); ++x) {
      const QRgb want = designed.pixel(x, y);
      const QRgb got =
          rendering.pixel(static_cast<int>((x + 0.5) * ratio), static_cast<int>((y + 0.5) * ratio));
      difference += std::abs(qRed(want) - qRed(got)) + std::abs(qGreen(want) - qGreen(got)) +
                    std::abs(qBlue(want) - qBlue(got));
    }
  }
  difference /= 3.0 * designed.width() * designed.height();
  EXPECT_LE(difference, picture.Tolerance) << renderingName.toStdString();
}

// The copy glyph is pixel art: its enlargement keeps every designed pixel's
// colour at that pixel's centre, and keeps olive in the bottom-left corner.
const TPicture Pictures[] = {
    {"welcome.jpg", 1.6},
    {"arrow-down.png", 16.0},
    {"copy-glyph.bmp", 0.0},
};

INSTANTIATE_TEST_SUITE_P(HighDpi, Rendering,
                         testing::Combine(testing::ValuesIn(Pictures),
                                          testing::Values("1.25", "1.5", "2")));

}  // namespace
