// A picture control whose window moves between screens of ratios 1 and 2
// (the offscreen platform places a window on the screen its position is on).
// The application is Qt's own, without the program's last line of the
// error guard, so anything thrown through Qt's event code reaches the test.
#include "platform/qt/Controls.h"
#include "platform/qt/ErrorGuard.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>

namespace korvalen {
namespace {

class ScreenChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    FPrevious =
        SetErrorPresenter([this](const QString&, const QString& message) { Reports << message; });
    FImage = new TImage(&FWindow);
    FWindow.resize(40, 40);
  }
  void TearDown() override { SetErrorPresenter(FPrevious); }

  // A picture file of the given size and colour, or of bytes no reader takes.
  QString Write(const char* name, QSize size, Qt::GlobalColor colour) {
    QString path = FDir.filePath(QLatin1String(name));
    if (size.isEmpty()) {
      QFile file(path);
      EXPECT_TRUE(file.open(QIODevice::WriteOnly));
      file.write("not a picture");
    } else {
      QImage image(size, QImage::Format_RGB32);
      image.fill(colour);
      EXPECT_TRUE(image.save(path));
    }
    return path;
  }

  // Moves the window onto the screen of that ratio, as a user drags it.
  void MoveTo(int ratio) {
    for (const QScreen* screen : QGuiApplication::screens()) {
      if (screen->devicePixelRatio() == ratio) {
        FWindow.move(screen->geometry().topLeft() + QPoint(10, 10));
      }
    }
    ASSERT_EQ(FImage->devicePixelRatioF(), ratio);
  }

  // Waits for the picture shown to have the given size in pixels.
  bool Shows(QSize pixels) {
    return QTest::qWaitFor([&] { return FImage->pixmap().size() == pixels; });
  }

  QStringList Reports;
  QWidget FWindow;
  TImage* FImage = nullptr;

 private:
  QTemporaryDir FDir;
  TErrorPresenter FPrevious;
};

TEST_F(ScreenChangeTest, TheRenderingFollowsTheWindowsScreen) {
  const QString picture = Write("p.png", {4, 4}, Qt::red);
  Write("p@2x.png", {8, 8}, Qt::blue);
  FImage->SetPicture(picture);
  FWindow.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&FWindow));
  for (const int ratio : {2, 1, 2}) {
    SCOPED_TRACE(ratio);
    EXPECT_NO_THROW(MoveTo(ratio));
    EXPECT_TRUE(Shows(QSize(4, 4) * ratio));
    EXPECT_EQ(FImage->pixmap().devicePixelRatio(), ratio);
  }
  EXPECT_TRUE(Reports.isEmpty()) << Reports.join('\n').toStdString();
}

// A rendering that cannot be read is reported once, however often the
// window paints or comes back to that screen, and the picture stays.
TEST_F(ScreenChangeTest, AnUnreadableRenderingIsReportedOnceAndThePictureStays) {
  const QString picture = Write("q.png", {4, 4}, Qt::red);
  const QString broken = Write("q@2x.png", {}, Qt::black);
  FImage->SetPicture(picture);
  FWindow.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&FWindow));
  for (const int ratio : {2, 1, 2}) {
    SCOPED_TRACE(ratio);
    EXPECT_NO_THROW({
      MoveTo(ratio);
      FWindow.grab();
      FWindow.repaint();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Reports.isEmpty(); }));
    EXPECT_TRUE(Shows(QSize(4, 4)));
  }
  QTest::qWait(50);
  EXPECT_EQ(Reports, QStringList{QStringLiteral("Cannot load picture ") + broken});
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen:configfile=" KORVALEN_SCREENS_CONFIG, 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
