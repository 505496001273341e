#include "platform/qt/Clipboard.h"
#include "platform/qt/Controls.h"
#include "platform/qt/Fonts.h"
#include "platform/qt/Pictures.h"

#include <QFontInfo>
#include <QImage>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace korvalen {
namespace {

class ListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FHost.resize(200, 200);
    FList = new TListBox(&FHost);
    FList->setGeometry(0, 0, 150, 150);
    FList->SetItems({"one", "two", "three"});
    FHost.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&FHost));
  }
  QPoint RowCentre(int row) const { return FList->visualItemRect(FList->item(row)).center(); }

  QWidget FHost;
  TListBox* FList = nullptr;
};

TEST_F(ListBoxTest, ProgramChangesRaiseNoClick) {
  QSignalSpy clicks(FList, &TListBox::Click);
  FList->SetItemIndex(1);
  EXPECT_EQ(FList->ItemIndex(), 1);
  FList->AddItem(QStringLiteral("four"));
  FList->SetItems({"a", "b"});
  EXPECT_EQ(FList->ItemIndex(), -1);
  FList->SetItemIndex(0);
  FList->Clear();
  EXPECT_EQ(FList->ItemIndex(), -1);
  EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ListBoxTest, UserSelectionRaisesOneClickPerChange) {
  QSignalSpy clicks(FList, &TListBox::Click);
  QTest::mouseClick(FList->viewport(), Qt::LeftButton, {}, RowCentre(1));
  EXPECT_EQ(FList->ItemIndex(), 1);
  EXPECT_EQ(FList->SelectedText(), QStringLiteral("two"));
  EXPECT_EQ(clicks.count(), 1);
  QTest::mouseClick(FList->viewport(), Qt::LeftButton, {}, RowCentre(1));
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(FList, Qt::Key_Down);
  EXPECT_EQ(FList->ItemIndex(), 2);
  EXPECT_EQ(clicks.count(), 2);
  QTest::keyClicks(FList, QStringLiteral("o"));
  EXPECT_EQ(FList->SelectedText(), QStringLiteral("one"));
  EXPECT_EQ(clicks.count(), 3);
}

TEST_F(ListBoxTest, FocusAloneSelectsNothingAndTheFirstArrowSelectsTheFirstRow) {
  QSignalSpy clicks(FList, &TListBox::Click);
  FList->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(FList->ItemIndex(), -1);
  EXPECT_EQ(FList->SelectedText(), QString());
  QTest::keyClick(FList, Qt::Key_Down);
  EXPECT_EQ(FList->SelectedText(), QStringLiteral("one"));
  QTest::keyClick(FList, Qt::Key_Down);
  EXPECT_EQ(FList->SelectedText(), QStringLiteral("two"));
  EXPECT_EQ(clicks.count(), 2);
}

TEST(ComboBoxTest, OnlyTheUsersChoiceActivates) {
  QWidget host;
  auto* combo = new TComboBox(&host);
  QSignalSpy chosen(combo, &QComboBox::activated);
  combo->SetItems({"Volume", "Mass"});
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->setCurrentIndex(1);
  EXPECT_EQ(chosen.count(), 0);
  combo->setCurrentIndex(-1);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(combo->Text(), QStringLiteral("Volume"));
  EXPECT_EQ(chosen.count(), 1);
}

TEST(GlyphTest, BottomLeftColourIsTransparentInBothImages) {
  const QRgb olive = qRgb(128, 128, 0);
  QImage bitmap(4, 2, QImage::Format_RGB32);
  bitmap.fill(olive);
  bitmap.setPixel(0, 0, qRgb(255, 0, 0));
  bitmap.setPixel(2, 0, qRgb(128, 128, 128));
  const QIcon icon = GlyphIcon(QPixmap::fromImage(bitmap), 2);
  const QImage normal = icon.pixmap(QSize(2, 2), QIcon::Normal).toImage();
  const QImage disabled = icon.pixmap(QSize(2, 2), QIcon::Disabled).toImage();
  EXPECT_EQ(normal.pixel(0, 0), qRgba(255, 0, 0, 255));
  EXPECT_EQ(disabled.pixel(0, 0), qRgba(128, 128, 128, 255));
  for (const QImage& image : {normal, disabled}) {
    EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, 1)), 0);
  }
}

// A decoding held on its worker until the test lets it go: neither the
// window's exposure and paint nor its destruction may wait for it.
TEST(ImageTest, ASlowDecodingHoldsUpNeitherPaintNorClosing) {
  static QSemaphore release;
  static std::atomic<int> reading{0};
  RegisterPictureReader(
      QStringLiteral("slow"),
      [](const QString&) {
        ++reading;
        release.tryAcquire(1, 10000);
        --reading;
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        return image;
      },
      [](const QString&) { return QSize(4, 4); });
  const auto showSlowPicture = [](QWidget& window) {
    auto* image = new TImage(&window);
    image->SetPicture(QStringLiteral("picture.slow"));
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(QTest::qWaitFor([] { return reading == 1; }));
    return image;
  };

  QWidget painted;
  const TImage* image = showSlowPicture(painted);
  painted.grab();
  EXPECT_EQ(reading, 1) << "the paint waited for the decoding";
  EXPECT_TRUE(image->pixmap().isNull());
  release.release();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !image->pixmap().isNull(); }));

  auto closed = std::make_unique<QWidget>();
  showSlowPicture(*closed);
  closed.reset();
  EXPECT_EQ(reading, 1) << "closing the window waited for its decoding";
  release.release();
  QThreadPool::globalInstance()->waitForDone();
}

TEST(CaptionTest, AcceleratorsAreTakenOut) {
  const struct {
    const char* caption;
    const char* shown;
  } rows[] = {{"U.S. && Metric", "U.S. & Metric"},
              {"&Continue", "Continue"},
              {"a&&&b", "a&b"},
              {"end&", "end"},
              {"", ""},
              {"&&&&", "&&"}};
  for (const auto& row : rows) {
    EXPECT_EQ(StripAccelerators(QString::fromUtf8(row.caption)), QString::fromUtf8(row.shown))
        << row.caption;
  }
}

TEST(ClipboardTest, TextReplacesAllContents) {
  TQtClipboard clipboard;
  for (const char* text : {"old", "2,20", "", "1000.00"}) {
    clipboard.SetAsText(QString::fromUtf8(text));
    EXPECT_EQ(clipboard.AsText(), QString::fromUtf8(text));
  }
}

TEST(FontTest, MissingFacesHaveStandIns) {
  const struct {
    const char* family;
    int height;
    const char* resolved;
  } rows[] = {{"MS Sans Serif", 11, "Liberation Sans"}, {"Arial", 19, "Liberation Sans"}};
  for (const auto& row : rows) {
    const QFont font = LayoutFont(QString::fromUtf8(row.family), row.height);
    EXPECT_EQ(font.pixelSize(), row.height);
    EXPECT_EQ(QFontInfo(font).family(), QString::fromUtf8(row.resolved)) << row.family;
  }
}

}  // namespace
}  // namespace korvalen
