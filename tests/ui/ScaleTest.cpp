// Both windows on one screen per binary, set before the application starts
// (Qt reads its screens once): KORVALEN_FONT_DPI, a larger system text with
// Qt's scaling off; or KORVALEN_SCALE_RATIO, a screen Qt scales by that
// device pixel ratio, as users get it.
#include "platform/jpeg/JpegDecoder.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Fonts.h"
#include "platform/qt/LayoutLoader.h"
#include "platform/qt/Pictures.h"
#include "tests/support/Session.h"
#include "tests/ui/StoredLayout.h"
#include "ui/UfrmConvert.h"
#include "ui/UfrmMain.h"

#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <span>

namespace korvalen {
namespace {

using test::TStoredLayout;

const QString ConvertLayout = QStringLiteral(":/layouts/frmConvert.json");

QString WelcomeLayout() {
  return QLatin1String(TfrmMain::StoredLayout);
}

// Waits for the pictures of a shown form, which are decoded on a worker.
bool PicturesArrived(const QWidget& form) {
  return QTest::qWaitFor([&] {
    const QList<TImage*> images = form.findChildren<TImage*>();
    return std::all_of(images.begin(), images.end(),
                       [](const TImage* image) { return !image->pixmap().isNull(); });
  });
}

const bool GScreenSet = [] {
#ifdef KORVALEN_FONT_DPI
  setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
  setenv("QT_FONT_DPI", KORVALEN_FONT_DPI, 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
#else
  unsetenv("QT_ENABLE_HIGHDPI_SCALING");
  unsetenv("QT_FONT_DPI");
  unsetenv("QT_SCALE_FACTOR");
  setenv("QT_QPA_PLATFORM", KORVALEN_SCALE_PLATFORM, 1);
#endif
  return true;
}();

// The guard of the welcome window claims its lock in a private folder.
using test::TPrivateRuntimeDir;

#ifdef KORVALEN_FONT_DPI

int Scaled(int value, double scale) {
  return static_cast<int>(std::lround(value * scale));
}

QSize Scaled(QSize size, double scale) {
  return {Scaled(size.width(), scale), Scaled(size.height(), scale)};
}

// Each of a box's four numbers scaled and rounded on its own, as the loader
// scales them.
QRect Scaled(const QRect& box, double scale) {
  return {Scaled(box.x(), scale), Scaled(box.y(), scale), Scaled(box.width(), scale),
          Scaled(box.height(), scale)};
}

// The font is 16.5 px rounded, and every position and size grows with the
// text.
TEST(ScaleTest, PositionsAndSizesGrowWithTheSystemsTextHeight) {
  ASSERT_TRUE(GScreenSet);
  ASSERT_DOUBLE_EQ(LogicalDpi(), 144.0);
  ASSERT_DOUBLE_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 1.0);
  const double scale = LayoutScale(13, SystemTextHeight(QStringLiteral("MS Sans Serif"), 11, 13));
  EXPECT_GT(scale, 1.35);
  EXPECT_LT(scale, 1.65);
  const TStoredLayout stored(ConvertLayout);

  QPointer<TfrmConvert> form = new TfrmConvert(nullptr);
  EXPECT_EQ(form->font().pixelSize(), 17);
  EXPECT_EQ(form->size(), Scaled(stored.ClientSize(), scale));
  for (const QWidget* control : std::initializer_list<QWidget*>{form->list2, form->BitBtn1}) {
    EXPECT_EQ(control->geometry(), Scaled(stored.Geometry(control->objectName()), scale))
        << control->objectName().toStdString();
  }
  // A picture keeps its own size.
  EXPECT_EQ(form->Image2->size(), QSize(32, 32));
  delete form.data();
}

// Texts and positions grow with the system's text; the picture keeps its
// own pixels and still fills the whole client area.
TEST(WelcomeScaleTest, LayoutGrowsWithTheTextThePictureDoesNot) {
  ASSERT_TRUE(GScreenSet);
  ASSERT_DOUBLE_EQ(LogicalDpi(), 144.0);
  const TPrivateRuntimeDir runtimeDir;
  const double scale = LayoutScale(13, SystemTextHeight(QStringLiteral("MS Sans Serif"), 11, 13));
  const TStoredLayout stored(WelcomeLayout());

  QPointer<TfrmMain> form = new TfrmMain;
  EXPECT_EQ(form->size(), Scaled(stored.ClientSize(), scale));
  for (const QWidget* control : std::initializer_list<QWidget*>{form->Button1, form->Label5}) {
    EXPECT_EQ(control->geometry(), Scaled(stored.Geometry(control->objectName()), scale))
        << control->objectName().toStdString();
  }
  EXPECT_EQ(form->Label1->pos(),
            Scaled(stored.Geometry(QStringLiteral("Label1")), scale).topLeft());
  EXPECT_EQ(form->Label2->font().pixelSize(), 53);
  EXPECT_EQ(form->Label5->font().pixelSize(), 24);
  EXPECT_EQ(form->Image1->geometry(), form->rect());
  // The picture is decoded as its window is first exposed.
  EXPECT_TRUE(form->Image1->pixmap().isNull());
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.data()));
  ASSERT_TRUE(PicturesArrived(*form));
  EXPECT_EQ(form->Image1->pixmap().size(), QSize(550, 500));
  // The wrapped texts still fit their grown boxes.
  for (const TLabel* label : {form->Label4, form->Label5, form->Label6}) {
    EXPECT_LE(label->heightForWidth(label->width()), label->height())
        << label->objectName().toStdString();
  }
  delete form.data();
}

// Which file a screen gets, with only some renderings present: its own
// ratio's, else the next larger one, never a smaller one while a larger
// exists; the designed file at 1 and below, or when there is nothing else.
TEST(PictureRenderingTest, AScreenGetsItsOwnRatioOrTheNextLargerOne) {
  QTemporaryDir dir;
  const QString picture = dir.filePath(QStringLiteral("picture.png"));
  const auto touch = [](const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  };
  touch(picture);
  struct TCase {
    qreal Ratio;
    const char* Expected;  // the suffix before ".png"
  };
  const auto check = [&](std::initializer_list<TCase> cases) {
    for (const TCase& c : cases) {
      EXPECT_EQ(PicturePathFor(picture, c.Ratio),
                dir.filePath(QStringLiteral("picture%1.png").arg(QLatin1String(c.Expected))))
          << c.Ratio;
    }
  };
  check({{0.5, ""}, {1.0, ""}, {1.25, ""}, {2.0, ""}});
  touch(dir.filePath(QStringLiteral("picture@1.5x.png")));
  check({{1.0, ""},
         {1.0004, ""},
         {1.1, "@1.5x"},
         {1.5, "@1.5x"},
         {1.5004, "@1.5x"},
         {1.75, "@1.5x"},
         {3.0, "@1.5x"}});
  touch(dir.filePath(QStringLiteral("picture@2x.png")));
  touch(dir.filePath(QStringLiteral("picture@1.25x.png")));
  check({{1.2, "@1.25x"},
         {1.25, "@1.25x"},
         {1.3, "@1.5x"},
         {1.5, "@1.5x"},
         {1.75, "@2x"},
         {2.0, "@2x"},
         {2.5, "@2x"}});
}

#else

const qreal Ratio = KORVALEN_SCALE_RATIO;

// The rendering a screen of this ratio must show, named here on its own
// rather than by the program's choice.
QString RenderingOf(const QString& designed) {
  const qsizetype dot = designed.lastIndexOf(QLatin1Char('.'));
  const QString suffix = Ratio == 1.0 ? QString()
                         : Ratio == 1.25 ? QStringLiteral("@1.25x")
                         : Ratio == 1.5 ? QStringLiteral("@1.5x")
                                        : QStringLiteral("@2x");
  return designed.left(dot) + suffix + designed.mid(dot);
}

QImage ReadRendering(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  const QByteArray bytes = file.readAll();
  if (!path.endsWith(QLatin1String(".jpg"))) {
    return QImage::fromData(bytes).convertToFormat(QImage::Format_ARGB32);
  }
  // Decoded as the program decodes it; a JPEG reader may round differently.
  QImage image;
  DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                       static_cast<std::size_t>(bytes.size())),
             path.toStdString(), [&image](int width, int height) {
               image = QImage(width, height, QImage::Format_RGB32);
               return TPixelRows{image.bits(), static_cast<std::size_t>(image.bytesPerLine())};
             });
  return image.convertToFormat(QImage::Format_ARGB32);
}

// What the screen shows of a window, in device pixels.
QImage Shown(QWidget& form) {
  form.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_TRUE(PicturesArrived(form));
  // Painted as for the screen: at the window's device pixel ratio.
  const QImage shot = form.grab().toImage();
  EXPECT_EQ(shot.size(), (QSizeF(form.size()) * Ratio).toSize());
  return shot.convertToFormat(QImage::Format_ARGB32);
}

// Pixels of `picture` (opaque ones only) that differ from `shot` at `at`.
int Mismatches(const QImage& shot, const QImage& picture, QPoint at, QRect area) {
  int wrong = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb want = picture.pixel(x, y);
      const QPoint p = at + QPoint(x, y);
      if (qAlpha(want) == 255 && (!shot.rect().contains(p) || shot.pixel(p) != want)) {
        ++wrong;
      }
    }
  }
  return wrong;
}

// Where `picture` shows, pixel for pixel, in `shot` within `search`; the
// control may sit between device pixels at a fractional ratio.
std::optional<QPoint> FindExactly(const QImage& shot, const QImage& picture, QRect search) {
  for (int y = search.top(); y <= search.bottom(); ++y) {
    for (int x = search.left(); x <= search.right(); ++x) {
      if (Mismatches(shot, picture, {x, y}, picture.rect()) == 0) {
        return QPoint(x, y);
      }
    }
  }
  return std::nullopt;
}

QRect DeviceRect(const QWidget& widget) {
  const QRect r(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size());
  return {QPoint(static_cast<int>(std::floor(r.left() * Ratio)),
                 static_cast<int>(std::floor(r.top() * Ratio))),
          QPoint(static_cast<int>(std::ceil((r.right() + 1) * Ratio)),
                 static_cast<int>(std::ceil((r.bottom() + 1) * Ratio)))};
}

TEST(KORVALEN_SCALE_SUITE, QtScalesTheWholeLayoutByTheScreensRatio) {
  ASSERT_TRUE(GScreenSet);
  ASSERT_DOUBLE_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), Ratio);
  ASSERT_DOUBLE_EQ(LogicalDpi(), 96.0) << "the layout itself is not scaled again";
  const TPrivateRuntimeDir runtimeDir;
  const TStoredLayout storedWelcome(WelcomeLayout());
  const TStoredLayout storedConvert(ConvertLayout);
  QPointer<TfrmMain> welcome = new TfrmMain;
  QPointer<TfrmConvert> convert = new TfrmConvert(nullptr);
  EXPECT_EQ(welcome->size(), storedWelcome.ClientSize());
  EXPECT_EQ(welcome->Button1->geometry(), storedWelcome.Geometry(QStringLiteral("Button1")));
  EXPECT_EQ(convert->size(), storedConvert.ClientSize());
  for (const QWidget* control :
       std::initializer_list<QWidget*>{convert->list2, convert->BitBtn1, convert->Image2}) {
    EXPECT_EQ(control->geometry(), storedConvert.Geometry(control->objectName()))
        << control->objectName().toStdString();
  }

  // Every text inside its control, measured as it is drawn (texts reach
  // the controls as they are polished, before the windows first show).
  welcome->ensurePolished();
  convert->ensurePolished();
  for (const TLabel* label : welcome->findChildren<TLabel*>()) {
    const QRectF needed = QFontMetricsF(label->font(), label)
                              .boundingRect(QRectF(label->rect()),
                                            static_cast<int>(label->alignment()) |
                                                (label->wordWrap() ? Qt::TextWordWrap : 0),
                                            label->text());
    EXPECT_TRUE(QRectF(label->rect()).contains(needed)) << label->objectName().toStdString();
  }
  const QFontMetricsF convertText(convert->font(), convert.data());
  EXPECT_LE(convertText.horizontalAdvance(convert->Label1->text()), convert->Label1->width());
  EXPECT_LE(convertText.height(), convert->Label1->height());
  for (const QString& item : convert->cboFamilies->Items()) {
    EXPECT_LE(convertText.horizontalAdvance(item),
              convert->cboFamilies->width() - convert->cboFamilies->height());
  }
  const QFontMetricsF buttonText(welcome->Button1->font(), welcome->Button1);
  EXPECT_LT(buttonText.horizontalAdvance(welcome->Button1->text()), welcome->Button1->width());
  EXPECT_LT(buttonText.height(), welcome->Button1->height());
  delete convert.data();
  delete welcome.data();
}

// The picture fills the window from its top-left corner with the rendering
// for this ratio, each of its pixels one of the screen's.
TEST(KORVALEN_SCALE_SUITE, WelcomePictureIsItsRenderingPixelForPixel) {
  ASSERT_TRUE(GScreenSet);
  const TPrivateRuntimeDir runtimeDir;
  const QImage rendering = ReadRendering(RenderingOf(QStringLiteral(":/images/welcome.jpg")));
  ASSERT_EQ(rendering.size(), QSize(std::lround(std::ceil(550 * Ratio)), std::lround(500 * Ratio)));
  QPointer<TfrmMain> form = new TfrmMain;
  const QImage shot = Shown(*form);
  // The terminal, right of the texts and above the button.
  const QRect terminal = QRectF(QPointF(290, 100) * Ratio, QPointF(541, 440) * Ratio).toRect();
  EXPECT_EQ(Mismatches(shot, rendering, {0, 0}, terminal), 0);
  // The corner where the picture is cut off.
  const QRect corner(shot.width() - 8, shot.height() - 8, 8, 8);
  EXPECT_EQ(Mismatches(shot, rendering, {0, 0}, corner), 0);
  delete form.data();
}

TEST(KORVALEN_SCALE_SUITE, ArrowAndCopyGlyphAreTheirRenderingsPixelForPixel) {
  ASSERT_TRUE(GScreenSet);
  QPointer<TfrmConvert> form = new TfrmConvert(nullptr);
  const QImage shot = Shown(*form);
  const QImage arrow = ReadRendering(RenderingOf(QStringLiteral(":/images/arrow-down.png")));
  ASSERT_EQ(arrow.size(), QSize(32, 32) * Ratio);
  EXPECT_TRUE(FindExactly(shot, arrow, DeviceRect(*form->Image2).adjusted(-1, -1, 0, 0)))
      << "the arrow is not shown pixel for pixel";

  // The glyph's left half, its olive (the bottom-left pixel) transparent.
  QImage glyph = ReadRendering(RenderingOf(QStringLiteral(":/images/copy-glyph.bmp")));
  glyph = glyph.copy(0, 0, glyph.width() / 2, glyph.height());
  ASSERT_EQ(glyph.size(), QSize(16, 16) * Ratio);
  const QRgb olive = glyph.pixel(0, glyph.height() - 1);
  for (int y = 0; y < glyph.height(); ++y) {
    for (int x = 0; x < glyph.width(); ++x) {
      if (glyph.pixel(x, y) == olive) {
        glyph.setPixel(x, y, qRgba(0, 0, 0, 0));
      }
    }
  }
  QRect button = DeviceRect(*form->BitBtn1);
  button.setSize(button.size() - glyph.size());
  EXPECT_TRUE(FindExactly(shot, glyph, button)) << "the copy glyph is not shown pixel for pixel";
  delete form.data();
}

#endif

}  // namespace
}  // namespace korvalen
