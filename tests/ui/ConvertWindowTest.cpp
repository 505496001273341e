#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/qt/Application.h"
#include "platform/qt/Clipboard.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"
#include "tests/platform/QtTestMain.h"
#include "ui/UfrmConvert.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace korvalen {
namespace {

class ConvertWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNumberSeparators('.', ',');
    // The hidden main window that closing the conversion window closes.
    FMain = new TForm;
    ASSERT_EQ(Application()->MainForm(), FMain.data());
    frmConvert = new TfrmConvert(nullptr);
    FForm = frmConvert;
    FForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FForm));
  }

  void TearDown() override {
    delete FForm.data();
    delete FMain.data();
    SetNumberSeparators('.', ',');
  }

  // The user picks a family with the keyboard, one step at a time.
  void ChooseFamily(const QString& family) {
    TComboBox& combo = *FForm->cboFamilies;
    const int target = combo.findText(family);
    ASSERT_GE(target, 0);
    combo.setFocus(Qt::TabFocusReason);
    while (combo.ItemIndex() != target) {
      QTest::keyClick(&combo, combo.ItemIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
  }

  // The user clicks an item of a list.
  static void ClickUnit(TListBox& list, const QString& unit) {
    const QList<QListWidgetItem*> found = list.findItems(unit, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << unit.toStdString();
    list.scrollToItem(found.first());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(found.first()).center());
  }

  void Convert(const QString& family, const QString& from, const QString& to) {
    ChooseFamily(family);
    ClickUnit(*FForm->list1, from);
    ClickUnit(*FForm->list2, to);
  }

  QString Result() const { return FForm->eCalc->text(); }

  TConvRegistryScope FRegistry;
  TStandardUnitsScope FUnits;
  QPointer<TForm> FMain;
  QPointer<TfrmConvert> FForm;
};

TEST_F(ConvertWindowTest, LaysOutEveryControlAsStored) {
  TfrmConvert& form = *FForm;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Conversion Utility"));
  EXPECT_EQ(form.size(), QSize(382, 284));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(form.isVisible());
  const QPoint screenCentre = form.screen()->availableGeometry().center();
  // Centred before the frame is known, so the client area is what is centred.
  EXPECT_LE((form.geometry().center() - screenCentre).manhattanLength(), 1);
  EXPECT_EQ(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
  EXPECT_EQ(form.font().pixelSize(), 11);

  const struct {
    QWidget* control;
    QRect geometry;
  } rows[] = {{form.Label1, {10, 4, 105, 13}},      {form.Image2, {174, 210, 32, 32}},
              {form.cboFamilies, {8, 20, 145, 21}}, {form.list1, {8, 46, 173, 153}},
              {form.list2, {198, 46, 173, 153}},    {form.eCalc, {118, 251, 145, 21}},
              {form.BitBtn1, {268, 248, 31, 27}}};
  for (const auto& row : rows) {
    EXPECT_EQ(row.control->geometry(), row.geometry) << row.control->objectName().toStdString();
    EXPECT_FALSE(row.control->accessibleName().isEmpty());
    EXPECT_FALSE(row.control->accessibleDescription().isEmpty());
  }
  EXPECT_EQ(form.Label1->text(), QStringLiteral("Measure Types"));
  EXPECT_EQ(form.cboFamilies->Items(), (QStringList{"Volume", "Mass"}));
  EXPECT_EQ(form.cboFamilies->ItemIndex(), -1);
  EXPECT_EQ(form.list1->count(), 0);
  EXPECT_EQ(form.list2->count(), 0);
  EXPECT_TRUE(form.eCalc->isReadOnly());
  EXPECT_EQ(Result(), QString());
  EXPECT_EQ(form.Image2->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(form.BitBtn1->toolTip(), QStringLiteral("Copy to Windows Clipboard"));
  EXPECT_EQ(form.BitBtn1->text(), QString());

  // The glyph: a normal and a distinct disabled image, its olive corner clear.
  const QIcon icon = form.BitBtn1->icon();
  const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
  const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
  EXPECT_EQ(normal.size(), QSize(16, 16));
  EXPECT_EQ(qAlpha(normal.pixel(0, 15)), 0);
  EXPECT_EQ(qAlpha(disabled.pixel(0, 15)), 0);
  EXPECT_NE(normal, disabled);
}

TEST_F(ConvertWindowTest, TabVisitsTheControlsInStoredOrder) {
  QWidget* const order[] = {FForm->cboFamilies, FForm->list1,   FForm->list2,
                            FForm->eCalc,       FForm->BitBtn1, FForm->cboFamilies};
  FForm->cboFamilies->setFocus(Qt::TabFocusReason);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
  }
}

TEST_F(ConvertWindowTest, ChoosingMassFillsBothListsInRegistrationOrder) {
  FForm->eCalc->setText(QStringLiteral("earlier"));
  // With the mouse, through the drop-down list.
  TComboBox& combo = *FForm->cboFamilies;
  combo.showPopup();
  QAbstractItemView* popup = combo.view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(popup->window()));
  QTest::mouseClick(popup->viewport(), Qt::LeftButton, {},
                    popup->visualRect(popup->model()->index(1, 0)).center());
  ASSERT_EQ(combo.Text(), QStringLiteral("Mass"));

  TConvFamilyId mass = IllegalFamilyId;
  ASSERT_TRUE(FamilyFromDescription("Mass", mass));
  TConvTypeArray types;
  TypesOfFamily(mass, types);
  QStringList expected;
  for (const TConvType type : types) {
    expected << QString::fromStdString(DescriptionOfType(type));
  }
  EXPECT_EQ(expected.size(), 16);
  EXPECT_EQ(expected.value(0), QStringLiteral("Nanograms"));
  EXPECT_EQ(FForm->list1->Items(), expected);
  EXPECT_EQ(FForm->list2->Items(), expected);
  EXPECT_EQ(FForm->list1->ItemIndex(), -1);
  EXPECT_EQ(FForm->list2->ItemIndex(), -1);
  EXPECT_EQ(Result(), QStringLiteral("earlier"));
}

struct ConversionRow {
  const char* name;
  const char* family;
  const char* from;
  const char* to;
  const char* shown;
};

class ConversionTest : public ConvertWindowTest,
                       public ::testing::WithParamInterface<ConversionRow> {};

TEST_P(ConversionTest, ShowsOneFromUnitInToUnits) {
  const ConversionRow& row = GetParam();
  Convert(QString::fromUtf8(row.family), QString::fromUtf8(row.from), QString::fromUtf8(row.to));
  EXPECT_EQ(Result(), QString::fromUtf8(row.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConversionTest,
    ::testing::Values(ConversionRow{"KilogramsToPounds", "Mass", "Kilograms", "Pounds", "2.20"},
                      ConversionRow{"PoundsToKilograms", "Mass", "Pounds", "Kilograms", "0.45"},
                      ConversionRow{"NoGrouping", "Volume", "Liters", "MilliLiters", "1000.00"},
                      ConversionRow{"SameUnit", "Mass", "Grams", "Grams", "1.00"},
                      ConversionRow{"GallonsToLiters", "Volume", "FluidGallons", "Liters", "3.79"},
                      ConversionRow{"TinyRoundsToZero", "Mass", "Nanograms", "Kilograms", "0.00"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ConvertWindowTest, OneListSelectedChangesNothing) {
  ChooseFamily(QStringLiteral("Mass"));
  FForm->eCalc->setText(QStringLiteral("kept"));
  ClickUnit(*FForm->list2, QStringLiteral("Pounds"));
  EXPECT_EQ(Result(), QStringLiteral("kept"));
  ChooseFamily(QStringLiteral("Volume"));
  ClickUnit(*FForm->list1, QStringLiteral("Liters"));
  ClickUnit(*FForm->list1, QStringLiteral("FluidPints"));
  EXPECT_EQ(Result(), QStringLiteral("kept"));
}

TEST_F(ConvertWindowTest, SwitchingFamilyKeepsTheOldResultUntilBothListsAreSelected) {
  Convert(QStringLiteral("Volume"), QStringLiteral("Liters"), QStringLiteral("MilliLiters"));
  ASSERT_EQ(Result(), QStringLiteral("1000.00"));
  ChooseFamily(QStringLiteral("Mass"));
  EXPECT_EQ(FForm->list1->Items().value(0), QStringLiteral("Nanograms"));
  EXPECT_EQ(Result(), QStringLiteral("1000.00"));
  ClickUnit(*FForm->list1, QStringLiteral("Kilograms"));
  EXPECT_EQ(Result(), QStringLiteral("1000.00"));
  ClickUnit(*FForm->list2, QStringLiteral("Pounds"));
  EXPECT_EQ(Result(), QStringLiteral("2.20"));
}

TEST_F(ConvertWindowTest, UnitMissingFromTheFamilyLeavesTheResult) {
  Convert(QStringLiteral("Mass"), QStringLiteral("Kilograms"), QStringLiteral("Pounds"));
  test::TReportRecorder reports;
  FForm->list2->AddItem(QStringLiteral("Parsecs"));
  ClickUnit(*FForm->list2, QStringLiteral("Parsecs"));
  EXPECT_EQ(Result(), QStringLiteral("2.20"));
  EXPECT_TRUE(reports.Messages().isEmpty());
}

TEST_F(ConvertWindowTest, CopyPutsTheShownTextInTheUsersLocale) {
  {
    test::TScopedEnv locale("LC_ALL", "de_DE.UTF-8");
    ReadNumberSeparators();
    Convert(QStringLiteral("Mass"), QStringLiteral("Kilograms"), QStringLiteral("Pounds"));
  }
  EXPECT_EQ(Result(), QStringLiteral("2,20"));
  QGuiApplication::clipboard()->setText(QStringLiteral("old"));
  QTest::mouseClick(FForm->BitBtn1, Qt::LeftButton);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("2,20"));
}

TEST_F(ConvertWindowTest, CopyWithAnEmptyResultEmptiesTheClipboard) {
  QGuiApplication::clipboard()->setText(QStringLiteral("old"));
  QTest::mouseClick(FForm->BitBtn1, Qt::LeftButton);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
}

// A clipboard that cannot be opened, as when another program holds it.
class TLockedClipboard final : public IClipboard {
 public:
  void SetAsText(const QString&) override {
    throw Exception(std::string(res::SCannotOpenClipboard));
  }
  QString AsText() const override { return QStringLiteral("kept"); }
};

TEST_F(ConvertWindowTest, FailedCopyIsReportedAndChangesNothing) {
  Convert(QStringLiteral("Mass"), QStringLiteral("Kilograms"), QStringLiteral("Pounds"));
  TLockedClipboard locked;
  Application()->SetClipboard(&locked);
  test::TReportRecorder reports;
  QTest::mouseClick(FForm->BitBtn1, Qt::LeftButton);
  Application()->SetClipboard(nullptr);

  EXPECT_EQ(reports.Messages(), QStringList{QStringLiteral("Cannot open clipboard")});
  EXPECT_EQ(reports.Titles(), QStringList{Application()->Title()});
  EXPECT_EQ(Result(), QStringLiteral("2.20"));
  EXPECT_EQ(FForm->list1->SelectedText(), QStringLiteral("Kilograms"));
  EXPECT_EQ(FForm->list2->SelectedText(), QStringLiteral("Pounds"));
  EXPECT_TRUE(FForm->isVisible());
  // The program goes on: the next conversion works.
  ClickUnit(*FForm->list2, QStringLiteral("Grams"));
  EXPECT_EQ(Result(), QStringLiteral("1000.00"));
}

TEST_F(ConvertWindowTest, ScreenReaderReadsTheResult) {
  Convert(QStringLiteral("Mass"), QStringLiteral("Kilograms"), QStringLiteral("Pounds"));
  QAccessibleInterface* result = QAccessible::queryAccessibleInterface(FForm->eCalc);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->text(QAccessible::Name), QStringLiteral("The result"));
  EXPECT_EQ(result->text(QAccessible::Value), QStringLiteral("2.20"));
  QAccessibleInterface* copy = QAccessible::queryAccessibleInterface(FForm->BitBtn1);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->text(QAccessible::Name), QStringLiteral("Copy to Windows Clipboard"));
}

TEST_F(ConvertWindowTest, WorksWithTheKeyboardAlone) {
  FForm->cboFamilies->setFocus(Qt::TabFocusReason);
  QTest::keyClick(FForm->cboFamilies, Qt::Key_Down);
  QTest::keyClick(FForm->cboFamilies, Qt::Key_Down);
  ASSERT_EQ(FForm->cboFamilies->Text(), QStringLiteral("Mass"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Kilograms"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Pounds"));
  EXPECT_EQ(FForm->list1->SelectedText(), QStringLiteral("Kilograms"));
  EXPECT_EQ(FForm->list2->SelectedText(), QStringLiteral("Pounds"));
  EXPECT_EQ(Result(), QStringLiteral("2.20"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), FForm->BitBtn1);
  QGuiApplication::clipboard()->setText(QStringLiteral("old"));
  QTest::keyClick(FForm->BitBtn1, Qt::Key_Space);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("2.20"));
}

TEST_F(ConvertWindowTest, EnterOnTheFocusedCopyButtonCopies) {
  Convert(QStringLiteral("Mass"), QStringLiteral("Kilograms"), QStringLiteral("Pounds"));
  int presses = 0;
  QObject::connect(FForm->BitBtn1, &QPushButton::clicked, FForm, [&] { ++presses; });
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  } keys[] = {{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}};
  for (const auto& row : keys) {
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    FForm->BitBtn1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(FForm->BitBtn1, row.key, row.modifiers);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("2.20")) << row.key;
  }
  // Held down, the key presses once.
  QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
  QCoreApplication::sendEvent(FForm->BitBtn1, &repeated);
  EXPECT_EQ(presses, 2);
}

TEST_F(ConvertWindowTest, ClosingFreesTheWindowAndEndsTheLoop) {
  Application()->SetShowMainForm(false);
  bool closedInLoop = false;
  QTimer::singleShot(0, FForm, [&] { closedInLoop = FForm->close(); });
  const int code = Application()->Run();
  Application()->SetShowMainForm(true);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(closedInLoop);
  EXPECT_TRUE(FForm.isNull());
  EXPECT_EQ(frmConvert, nullptr);
  EXPECT_TRUE(FMain.isNull());
}

}  // namespace
}  // namespace korvalen
