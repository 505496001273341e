// The copy button against a real X11 clipboard (x11-clipboard.sh starts a
// private Xvfb for it). Another program takes the clipboard after the last
// event the program saw from the server: the X server then refuses the
// program's claim, which carries that event's time, and the copy must fail
// as "Cannot open clipboard" with the other program's text left in place.

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/qt/Application.h"
#include "platform/x11/X11.h"
#include "tests/platform/QtTestMain.h"
#include "ui/UfrmConvert.h"

#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace korvalen {
namespace {

// What another program sees on the clipboard. While the program holds the
// clipboard the loop must run, so that it can answer; before that, the loop
// must not run, or the program would learn of the other program's claim.
enum class TLoop { Runs, Waits };

QString ClipboardSeenFromOutside(TLoop loop) {
  QProcess xclip;
  xclip.start(QStringLiteral("xclip"),
              {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
  const bool ended =
      loop == TLoop::Runs
          ? QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 5000)
          : xclip.waitForFinished(5000);
  if (!ended) {
    xclip.kill();
    xclip.waitForFinished(1000);
  }
  if (!ended || xclip.exitCode() != 0) {
    return QStringLiteral("<nothing>");
  }
  return QString::fromUtf8(xclip.readAllStandardOutput());
}

// A property change on one of the program's windows: the notification
// hands the program the server's time now, as any event from the user would.
void GiveTheProgramTheServerTimeNow(QWidget& window) {
  const TX11& x = Application()->X11();
  ASSERT_TRUE(x.Usable());
  static constexpr std::array<std::string_view, 1> kTick = {"KORVALEN_TEST_TICK"};
  const std::uint8_t value = 1;
  xcb_change_property(x.Connection(), XCB_PROP_MODE_REPLACE,
                      static_cast<xcb_window_t>(window.winId()), x.Atoms(kTick).front(),
                      XCB_ATOM_CARDINAL, 8, 1, &value);
  ASSERT_TRUE(x.Sync());
  QTest::qWait(50);
}

class X11ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    SetNumberSeparators('.', ',');
    FMain = new TForm;
    frmConvert = new TfrmConvert(nullptr);
    FForm = frmConvert;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm));
    TfrmConvert& form = *FForm;
    form.cboFamilies->setCurrentIndex(form.cboFamilies->findText(QStringLiteral("Mass")));
    form.cboFamiliesSelect(form.cboFamilies);
    form.list1->SetItemIndex(static_cast<int>(form.list1->Items().indexOf("Kilograms")));
    form.list2->SetItemIndex(static_cast<int>(form.list2->Items().indexOf("Pounds")));
    form.list2Click(form.list2);
    ASSERT_EQ(form.eCalc->text(), QStringLiteral("2.20"));
  }

  void TearDown() override {
    if (FHolder.state() != QProcess::NotRunning) {
      FHolder.kill();
      FHolder.waitForFinished(5000);
    }
    delete FForm.data();
    delete FMain.data();
  }

  // Another program takes the clipboard with text and keeps serving it.
  void AnotherProgramTakesTheClipboard(const QByteArray& text) {
    FHolder.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                            QStringLiteral("clipboard"), QStringLiteral("-i")});
    ASSERT_TRUE(FHolder.waitForStarted(5000));
    FHolder.write(text);
    ASSERT_TRUE(FHolder.waitForBytesWritten(5000));
    FHolder.closeWriteChannel();
    for (int tries = 0; ClipboardSeenFromOutside(TLoop::Waits) != text; ++tries) {
      ASSERT_LT(tries, 100) << "xclip did not take the clipboard";
      QThread::msleep(20);
    }
  }

  TConvRegistryScope FRegistry;
  TStandardUnitsScope FUnits;
  QPointer<TForm> FMain;
  QPointer<TfrmConvert> FForm;
  QProcess FHolder;
};

TEST_F(X11ClipboardTest, ARefusedClaimFailsTheCopyAndKeepsTheOtherText) {
  GiveTheProgramTheServerTimeNow(*FForm);
  AnotherProgramTakesTheClipboard("kept");

  test::TReportRecorder reports;
  // A click that reaches the button without a server event, so the claim
  // carries the time of the event before the other program's.
  QTest::mouseClick(FForm->BitBtn1, Qt::LeftButton);

  EXPECT_EQ(reports.Messages(), QStringList{QStringLiteral("Cannot open clipboard")});
  EXPECT_EQ(ClipboardSeenFromOutside(TLoop::Waits), QStringLiteral("kept"));
  EXPECT_EQ(FForm->eCalc->text(), QStringLiteral("2.20"));
  EXPECT_TRUE(FForm->isVisible());

  // With a later event from the server the claim stands and the copy works.
  GiveTheProgramTheServerTimeNow(*FForm);
  QTest::mouseClick(FForm->BitBtn1, Qt::LeftButton);
  EXPECT_EQ(reports.Messages().size(), 1);
  EXPECT_EQ(ClipboardSeenFromOutside(TLoop::Runs), QStringLiteral("2.20"));
}

}  // namespace
}  // namespace korvalen
