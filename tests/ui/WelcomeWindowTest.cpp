#include "platform/qt/Application.h"
#include "platform/qt/LayoutLoader.h"
#include "platform/qt/Shell.h"
#include "platform/runtime/Exceptions.h"
#include "tests/platform/QtTestMain.h"
#include "tests/ui/StoredLayout.h"
#include "ui/UfrmConvert.h"
#include "ui/UfrmMain.h"
#include "ui/WinXP.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace korvalen {
namespace {

using test::TStoredLayout;

const QColor Navy(0, 0, 128);
const QColor Red(255, 0, 0);
const QColor Blue(0, 0, 255);

// Every test gets a runtime folder of its own, so parallel test processes
// never meet in the single-instance name.
using test::TPrivateRuntimeDir;

// The welcome window's stored layout, read on its own.
TStoredLayout Stored() {
  return TStoredLayout(QLatin1String(TfrmMain::StoredLayout));
}

class WelcomeWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Application()->MainForm(), nullptr);
    frmMain = new TfrmMain;
    FForm = frmMain;
    ASSERT_EQ(Application()->MainForm(), FForm.data());
    FForm->show();
    FForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FForm));
  }

  void TearDown() override {
    delete frmConvert;
    delete FForm.data();
    EXPECT_EQ(frmMain, nullptr);
  }

  TPrivateRuntimeDir FRuntimeDir;
  QPointer<TfrmMain> FForm;
};

TEST_F(WelcomeWindowTest, WindowAsStored) {
  TfrmMain& form = *FForm;
  EXPECT_EQ(form.objectName(), QStringLiteral("frmMain"));
  EXPECT_EQ(form.windowTitle(),
            QStringLiteral("Korvalen Converter - U.S. & Metric System Conversion"));
  EXPECT_EQ(form.size(), Stored().ClientSize());
  // The resizable frame, with no title-bar button of any kind.
  EXPECT_NE(form.minimumSize(), form.maximumSize());
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  for (const Qt::WindowType button :
       {Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
        Qt::WindowCloseButtonHint, Qt::WindowContextHelpButtonHint}) {
    EXPECT_FALSE(flags.testFlag(button)) << button;
  }
  const QPoint screenCentre = form.screen()->availableGeometry().center();
  EXPECT_LE((form.geometry().center() - screenCentre).manhattanLength(), 1);
  EXPECT_EQ(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
  EXPECT_EQ(form.font().family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(form.font().pixelSize(), 11);
  EXPECT_EQ(form.Button1->font().pixelSize(), 11);

  QStringList order;
  for (QObject* component : form.Components()) {
    order << component->objectName();
  }
  EXPECT_EQ(order, (QStringList{"Image1", "Label1", "Label2", "Label3", "Label4", "Label5",
                                "Label6", "Label7", "Label8", "Button1", "XJustOne1", "WinXP1"}));
  EXPECT_TRUE(form.XJustOne1->SwitchToPrevious());
  EXPECT_TRUE(form.XJustOne1->Enabled());
  EXPECT_EQ(form.WinXP1->Owner(), &form);

  EXPECT_EQ(form.Button1->geometry(), Stored().Geometry(QStringLiteral("Button1")));
  EXPECT_EQ(form.Button1->text(), QStringLiteral("Continue"));
  // The stored accessible texts are there once the window is shown.
  for (const QWidget* control :
       std::initializer_list<const QWidget*>{form.Image1, form.Label1, form.Button1}) {
    EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    EXPECT_FALSE(control->accessibleDescription().isEmpty()) << control->objectName().toStdString();
  }
}

TEST_F(WelcomeWindowTest, LabelsAsStored) {
  TfrmMain& form = *FForm;
  const TStoredLayout layout = Stored();
  const struct {
    TLabel* label;
    int fontHeight;
    QColor colour;
    bool fixed;
    Qt::Alignment alignment;
    QString text;
  } rows[] = {
      {form.Label1, 19, Navy, false, Qt::AlignLeft, QStringLiteral("http://www.example.com/")},
      {form.Label2, 35, Blue, false, Qt::AlignLeft, QStringLiteral("Korvalen")},
      {form.Label3, 35, Red, false, Qt::AlignLeft, QStringLiteral("Converter")},
      {form.Label4, 16, Blue, true, Qt::AlignLeft,
       QStringLiteral("Handy, Desktop Application for converting measurements using U.S. & "
                      "Metric Systems")},
      {form.Label5, 16, Navy, true, Qt::AlignHCenter,
       layout.Property(QStringLiteral("Label5"), "caption").toString()},
      {form.Label6, 16, Blue, true, Qt::AlignHCenter,
       QStringLiteral("Complements of\nKorvalen Business Solutions\n\nDevelopers of")},
      {form.Label7, 29, Blue, false, Qt::AlignLeft, QStringLiteral("Korvalen")},
      {form.Label8, 29, Red, false, Qt::AlignLeft, QStringLiteral("POS")},
  };
  for (const auto& row : rows) {
    const TLabel& label = *row.label;
    SCOPED_TRACE(label.objectName().toStdString());
    const QRect stored = layout.Geometry(label.objectName());
    EXPECT_EQ(label.text(), row.text);
    EXPECT_EQ(label.pos(), stored.topLeft());
    EXPECT_EQ(QFontInfo(label.font()).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(label.font().pixelSize(), row.fontHeight);
    EXPECT_EQ(label.font().underline(), &label == form.Label1);
    EXPECT_EQ(label.FontColor(), row.colour);
    EXPECT_TRUE(label.Transparent());
    EXPECT_EQ(label.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(label.alignment() & Qt::AlignHorizontal_Mask, row.alignment);
    EXPECT_EQ(label.AutoSize(), !row.fixed);
    EXPECT_EQ(label.wordWrap(), row.fixed);
    if (row.fixed) {
      EXPECT_EQ(label.size(), stored.size());
      // The wrapped text fits the stored box.
      EXPECT_LE(label.heightForWidth(label.width()), label.height());
    } else {
      EXPECT_EQ(label.size(), label.sizeHint());
    }
  }
  // The headings, in a face with Arial's metrics, come out as wide as they
  // were laid out, so "Converter" still meets "Korvalen" and "POS" its name.
  // Heights as laid out, and widths close to them: the stand-in face has
  // Arial's metrics, so each heading still ends before its second word.
  for (const TLabel* label : {form.Label1, form.Label2, form.Label3, form.Label7, form.Label8}) {
    SCOPED_TRACE(label->objectName().toStdString());
    const QRect stored = layout.Geometry(label->objectName());
    EXPECT_EQ(label->height(), stored.height());
    if (label != form.Label1) {
      EXPECT_LE(std::abs(label->width() - stored.width()), stored.width() / 20);
    }
  }
  EXPECT_LT(form.Label2->geometry().right(), form.Label3->x());
  EXPECT_LT(form.Label7->geometry().right(), form.Label8->x());
  // Two sentences about the point-of-sale software.
  EXPECT_EQ(form.Label5->text().count(QLatin1Char('.')), 2);
  for (const char* word : {"ffordable", "rofessional", "restaurant", "point-of-sale",
                           "Touch-screen", "SQL database"}) {
    EXPECT_TRUE(form.Label5->text().contains(QLatin1String(word))) << word;
  }
}

TEST_F(WelcomeWindowTest, OnlyContinueTakesTheFocus) {
  const QList<QWidget*> children = FForm->findChildren<QWidget*>();
  for (const QWidget* child : children) {
    EXPECT_EQ(child->focusPolicy() == Qt::NoFocus, child != FForm->Button1)
        << child->objectName().toStdString();
  }
  EXPECT_EQ(QApplication::focusWidget(), FForm->Button1);
}

TEST_F(WelcomeWindowTest, PictureAtNaturalSizeFromTheTopLeftNeverStretched) {
  TfrmMain& form = *FForm;
  TImage& image = *form.Image1;
  EXPECT_EQ(image.geometry(), form.rect());
  // Decoded on a worker, it comes as soon as it is read.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !image.pixmap().isNull(); }));
  const QImage picture = image.pixmap().toImage();
  ASSERT_EQ(picture.size(), QSize(550, 500));

  // What the window shows is the picture's own pixels at their own places,
  // the last 8 columns and 7 rows cut off.
  QImage shown = form.grab().toImage();
  ASSERT_EQ(shown.size(), Stored().ClientSize());
  const QPoint probes[] = {{541, 492}, {400, 200}, {300, 470}, {530, 5}};
  for (const QPoint probe : probes) {
    EXPECT_EQ(shown.pixelColor(probe), picture.pixelColor(probe)) << probe.x() << "," << probe.y();
  }

  // Enlarged, the window reveals the rest of the picture and no more.
  form.resize(600, 560);
  EXPECT_EQ(image.geometry(), QRect(0, 0, 600, 560));
  shown = form.grab().toImage();
  EXPECT_EQ(shown.pixelColor(549, 499), picture.pixelColor(549, 499));
  EXPECT_EQ(shown.pixelColor(580, 540), form.palette().color(QPalette::Window));
  EXPECT_EQ(image.pixmap().size(), QSize(550, 500));
}

TEST_F(WelcomeWindowTest, LinkTurnsRedUnderThePointerAndNavyOffIt) {
  TLabel& link = *FForm->Label1;
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(link.FontColor(), Navy);
  QTest::mouseMove(FForm, QPoint(500, 200));
  EXPECT_EQ(link.FontColor(), Navy);
  for (int round = 0; round < 2; ++round) {
    QTest::mouseMove(&link, link.rect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return link.FontColor() == Red; }, 1000)) << round;
    QTest::mouseMove(FForm, QPoint(500, 200));
    EXPECT_TRUE(QTest::qWaitFor([&] { return link.FontColor() == Navy; }, 1000)) << round;
  }
}

TEST_F(WelcomeWindowTest, ClickingTheLinkOpensItsAddressAndChangesNothing) {
  QStringList opened;
  const TShellOpener previous = SetShellOpener([&](const QString& address) { opened << address; });
  struct TRestore {
    TShellOpener opener;
    ~TRestore() { SetShellOpener(opener); }
  } restore{previous};

  TLabel& link = *FForm->Label1;
  QTest::mouseMove(&link, link.rect().center());
  QTest::mouseClick(&link, Qt::LeftButton, {}, link.rect().center());
  EXPECT_EQ(opened, QStringList{QStringLiteral("http://www.example.com/")});
  EXPECT_EQ(link.FontColor(), Red);
  EXPECT_TRUE(FForm->isVisible());
  EXPECT_EQ(frmConvert, nullptr);

  // A right click is no click.
  QTest::mouseClick(&link, Qt::RightButton, {}, link.rect().center());
  EXPECT_EQ(opened.size(), 1);
}

TEST_F(WelcomeWindowTest, ContinueShowsTheConversionWindowAndHidesThisOne) {
  QTest::mouseClick(FForm->Button1, Qt::LeftButton);
  ASSERT_NE(frmConvert, nullptr);
  EXPECT_EQ(frmConvert->windowTitle(), QStringLiteral("Conversion Utility"));
  EXPECT_TRUE(frmConvert->isVisible());
  EXPECT_EQ(frmConvert->parent(), nullptr);
  EXPECT_EQ(frmConvert->cboFamilies->ItemIndex(), -1);
  EXPECT_FALSE(FForm->isVisible());
  // Still the main window, only hidden.
  EXPECT_EQ(Application()->MainForm(), FForm.data());
  EXPECT_EQ(frmMain, FForm.data());
  EXPECT_TRUE(QTest::qWaitForWindowActive(frmConvert));
}

// The conversion windows alive now, shown or not.
int ConversionWindows() {
  const QWidgetList windows = QApplication::topLevelWidgets();
  return static_cast<int>(std::count_if(windows.begin(), windows.end(), [](QWidget* window) {
    return qobject_cast<TfrmConvert*>(window) != nullptr;
  }));
}

struct KeyRow {
  const char* name;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  bool presses;
};

class ContinueKeyTest : public WelcomeWindowTest, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(ContinueKeyTest, KeyOnTheFocusedContinue) {
  ASSERT_EQ(QApplication::focusWidget(), FForm->Button1);
  QTest::keyClick(FForm->Button1, GetParam().key, GetParam().modifiers);
  EXPECT_EQ(frmConvert != nullptr, GetParam().presses);
  EXPECT_EQ(FForm->isVisible(), !GetParam().presses);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContinueKeyTest,
    ::testing::Values(KeyRow{"Space", Qt::Key_Space, Qt::NoModifier, true},
                      KeyRow{"Return", Qt::Key_Return, Qt::NoModifier, true},
                      KeyRow{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, true},
                      KeyRow{"ControlReturn", Qt::Key_Return, Qt::ControlModifier, false},
                      KeyRow{"Escape", Qt::Key_Escape, Qt::NoModifier, false}),
    [](const auto& row) { return std::string(row.param.name); });

// Presses that reach "Continue" after the first: queued behind it before the
// window hid (a quick double press), or arriving once it has (clicks while
// the program was busy). Only the first opens a window.
TEST_F(WelcomeWindowTest, OnlyTheFirstPressOfContinueOpensAWindow) {
  QPushButton& button = *FForm->Button1;
  for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Space, Qt::Key_Return}) {
    QCoreApplication::postEvent(&button, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(&button, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
  }
  QCoreApplication::sendPostedEvents(&button);
  QPointer<TfrmConvert> first = frmConvert;
  ASSERT_FALSE(first.isNull());
  EXPECT_EQ(ConversionWindows(), 1);
  button.click();
  FForm->Button1Click(&button);
  EXPECT_EQ(ConversionWindows(), 1);
  EXPECT_EQ(frmConvert, first.data());
  EXPECT_FALSE(FForm->isVisible());

  // Once the conversion window has closed, the hidden welcome window opens
  // none either.
  delete first.data();
  ASSERT_EQ(frmConvert, nullptr);
  FForm->Button1Click(&button);
  EXPECT_EQ(ConversionWindows(), 0);
}

// Layouts that are not the stored one, written to a folder of the test.
class LayoutFiles {
 public:
  QString Write(const QString& name, const QByteArray& text) {
    const QString path = FDir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    return path;
  }

  // The stored welcome window's layout with another picture.
  QString WelcomeWithPicture(const QString& picture) {
    QFile stored{QLatin1String(TfrmMain::StoredLayout)};
    EXPECT_TRUE(stored.open(QIODevice::ReadOnly));
    QByteArray text = stored.readAll();
    const QByteArray original = "\":/images/welcome.jpg\"";
    EXPECT_TRUE(text.contains(original));
    text.replace(original, '"' + picture.toUtf8() + '"');
    return Write(QStringLiteral("frmMain.json"), text);
  }

  static QByteArray StoredPicture() {
    QFile file(QStringLiteral(":/images/welcome.jpg"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }

 private:
  QTemporaryDir FDir;
};

// A picture that cannot be read fails the window with a message naming the
// picture and why, and no window is left behind.
TEST(WelcomePictureTest, UnreadablePicturesFailTheWindowClearly) {
  TPrivateRuntimeDir runtimeDir;
  LayoutFiles files;
  const QByteArray jpeg = LayoutFiles::StoredPicture();
  ASSERT_GT(jpeg.size(), 20000);
  // The frame header (SOF0) claims twice the picture's height: the data runs
  // out half way.
  QByteArray taller = jpeg;
  const qsizetype sof = taller.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  ASSERT_EQ((static_cast<unsigned char>(taller[sof + 5]) << 8) |
                static_cast<unsigned char>(taller[sof + 6]),
            500);
  taller[sof + 5] = static_cast<char>(1000 >> 8);
  taller[sof + 6] = static_cast<char>(1000 & 0xFF);

  const struct {
    const char* name;
    QByteArray bytes;
    const char* reason;  // what the message must say after the picture's name
  } rows[] = {
      {"truncated", jpeg.left(jpeg.size() / 2), ": "},
      {"taller-than-its-data", taller, ": "},
      {"not-a-jpeg", QByteArray("GIF89a this is not a JPEG at all"), ": "},
      {"empty", QByteArray(), ": "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString picture = files.Write(QLatin1String(row.name) + QLatin1String(".jpg"), row.bytes);
    const QString layout = files.WelcomeWithPicture(picture);
    try {
      TfrmMain form(nullptr, layout);
      ADD_FAILURE() << "the window loaded";
    } catch (const Exception& error) {
      const std::string expected = "Cannot read picture " + picture.toStdString() + row.reason;
      EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected) << error.what();
      EXPECT_GT(std::string(error.what()).size(), expected.size()) << "no reason given";
    }
    EXPECT_EQ(Application()->MainForm(), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
  }

  const QString missing = files.WelcomeWithPicture(QStringLiteral("/nonexistent/welcome.jpg"));
  try {
    TfrmMain form(nullptr, missing);
    ADD_FAILURE() << "the window loaded";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Cannot load picture /nonexistent/welcome.jpg");
  }
}

TEST(WelcomeLayoutTest, MalformedLayoutNamesTheFile) {
  TPrivateRuntimeDir runtimeDir;
  LayoutFiles files;
  const QString layout = files.Write(QStringLiteral("broken.json"), R"({ "class": "TfrmMain", )");
  try {
    TfrmMain form(nullptr, layout);
    ADD_FAILURE() << "the window loaded";
  } catch (const Exception& error) {
    EXPECT_NE(std::string(error.what()).find(layout.toStdString() + ": malformed layout"),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(Application()->MainForm(), nullptr);
}

// A small form for TWinXP: a plain TForm with the components given.
QByteArray FormWith(const char* components) {
  return QByteArray(R"({ "class": "TForm", "name": "frmProbe",
    "properties": { "clientSize": [100, 50] }, "components": [)") +
         components + "] }";
}

TEST(WinXPTest, LayoutsWithOneOrTwoMarkers) {
  RegisterWinXP();
  LayoutFiles files;
  const struct {
    const char* name;
    const char* components;
    const char* error;  // nullptr: loads
  } rows[] = {
      {"one", R"({ "class": "TWinXP", "name": "WinXP1" })", nullptr},
      {"one among controls",
       R"({ "class": "TLabel", "name": "Label1" }, { "class": "TWinXP", "name": "WinXP1" },
          { "class": "TButton", "name": "Button1" })",
       nullptr},
      {"two", R"({ "class": "TWinXP", "name": "WinXP1" }, { "class": "TWinXP", "name": "WinXP2" })",
       "Only one instance of TWinXP allowed on form"},
      {"two apart",
       R"({ "class": "TWinXP", "name": "WinXP1" }, { "class": "TLabel", "name": "Label1" },
          { "class": "TWinXP", "name": "WinXP2" })",
       "Only one instance of TWinXP allowed on form"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString path = files.Write(QStringLiteral("probe.json"), FormWith(row.components));
    TForm form;
    try {
      LoadLayout(form, path);
      EXPECT_EQ(row.error, nullptr);
      EXPECT_EQ(form.findChildren<TWinXP*>().size(), 1);
    } catch (const Exception& error) {
      ASSERT_NE(row.error, nullptr) << error.what();
      EXPECT_STREQ(error.what(), row.error);
      // The failed marker took itself out again; the first one is still listed.
      EXPECT_EQ(form.findChildren<TWinXP*>().size(), 1);
    }
  }
}

TEST(WinXPTest, OwnerMustBeAForm) {
  TForm form;
  TComponent component(&form);
  QWidget widget;
  QObject* const owners[] = {nullptr, &component, &widget};
  for (QObject* owner : owners) {
    try {
      new TWinXP(owner);
      ADD_FAILURE() << "created";
    } catch (const Exception& error) {
      EXPECT_STREQ(error.what(), "Control parent must be a form!");
    }
  }
  EXPECT_EQ(component.ComponentCount(), 0);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_TRUE(widget.children().isEmpty());

  // Created directly on a form it counts like one from a layout.
  auto* first = new TWinXP(&form);
  EXPECT_EQ(first->Owner(), &form);
  EXPECT_THROW(new TWinXP(&form), Exception);
  EXPECT_EQ(form.ComponentCount(), 2);
}

}  // namespace
}  // namespace korvalen
