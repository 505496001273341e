#include "platform/qt/Components.h"
#include "platform/qt/Controls.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/LayoutLoader.h"
#include "platform/runtime/Exceptions.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace korvalen {

class TfrmProbe : public TForm {
  Q_OBJECT

 public:
  TfrmProbe() = default;
};

// Records the order its setters run in and what it sees when loading ends.
class TProbe : public TComponent {
  Q_OBJECT
  // Declared out of alphabetical order: the loader must follow the class.
  Q_PROPERTY(int zeta READ Zeta WRITE SetZeta)
  Q_PROPERTY(int alpha READ Alpha WRITE SetAlpha)

 public:
  explicit TProbe(QObject* owner) : TComponent(owner) {}
  int Zeta() const { return FZeta; }
  void SetZeta(int value) {
    FZeta = value;
    FLog.push_back("zeta");
  }
  int Alpha() const { return FAlpha; }
  void SetAlpha(int value) {
    FAlpha = value;
    FLog.push_back("alpha");
  }
  void Loaded() override {
    FLog.push_back("loaded");
    FComponentsAtLoaded = ContainerOf(Owner())->ComponentCount();
  }

  std::vector<std::string> FLog;
  int FComponentsAtLoaded = -1;

 private:
  int FZeta = 0;
  int FAlpha = 0;
};

namespace {

class LayoutLoaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterClass<TProbe>(QStringLiteral("TProbe")); }

  QString Write(const char* text) {
    const QString path = FDir.filePath(QStringLiteral("layout.json"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    return path;
  }

  QTemporaryDir FDir;
};

constexpr const char* GoodLayout = R"({
  "class": "TfrmProbe", "name": "frmProbe",
  "properties": {
    "caption": "Probe", "clientSize": [200, 100], "borderStyle": "bsSingle",
    "borderIcons": ["biSystemMenu", "biMinimize"], "color": "#102030",
    "font": { "family": "MS Sans Serif", "height": 11 }, "textHeight": 13
  },
  "components": [
    { "class": "TProbe", "name": "Probe1", "properties": { "alpha": 1, "zeta": 2 } },
    { "class": "TComboBox", "name": "cbo", "properties": { "geometry": [1, 2, 30, 20],
      "items": ["a", "b"], "tabOrder": 1 } },
    { "class": "TListBox", "name": "lst", "properties": { "geometry": [5, 30, 40, 50],
      "items": ["x", "y", "z"], "tabOrder": 0 } },
    { "class": "TLabel", "name": "lbl", "properties": { "geometry": [3, 4, 50, 13],
      "autoSize": false, "caption": "A && B", "fontColor": [0, 0, 128],
      "accessibleName": "Both", "accessibleDescription": "A and B" } },
    { "class": "TProbe", "name": "Probe2" }
  ]
})";

TEST_F(LayoutLoaderTest, CreatesInOrderSetsThroughSettersThenEndsLoading) {
  TfrmProbe form;
  LoadLayout(form, Write(GoodLayout));

  std::vector<QString> names;
  for (QObject* component : form.Components()) {
    names.push_back(component->objectName());
  }
  EXPECT_EQ(names, (std::vector<QString>{"Probe1", "cbo", "lst", "lbl", "Probe2"}));
  EXPECT_EQ(form.objectName(), QStringLiteral("frmProbe"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Probe"));
  EXPECT_EQ(form.size(), QSize(200, 100));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
  EXPECT_FALSE(form.isVisible());

  auto& probe1 = FindComponent<TProbe>(form, QStringLiteral("Probe1"));
  auto& probe2 = FindComponent<TProbe>(form, QStringLiteral("Probe2"));
  EXPECT_EQ(probe1.FLog, (std::vector<std::string>{"zeta", "alpha", "loaded"}));
  EXPECT_EQ(probe1.Alpha(), 1);
  EXPECT_EQ(probe1.Zeta(), 2);
  EXPECT_EQ(probe1.FComponentsAtLoaded, 5);
  EXPECT_EQ(probe2.FLog, std::vector<std::string>{"loaded"});

  auto& cbo = FindComponent<TComboBox>(form, QStringLiteral("cbo"));
  auto& lst = FindComponent<TListBox>(form, QStringLiteral("lst"));
  auto& lbl = FindComponent<TLabel>(form, QStringLiteral("lbl"));
  EXPECT_EQ(cbo.Items(), (QStringList{"a", "b"}));
  EXPECT_EQ(cbo.ItemIndex(), -1);
  EXPECT_EQ(lst.Items(), (QStringList{"x", "y", "z"}));
  EXPECT_EQ(lst.ItemIndex(), -1);
  EXPECT_EQ(lst.geometry(), QRect(5, 30, 40, 50));
  EXPECT_EQ(lbl.Caption(), QStringLiteral("A && B"));
  EXPECT_EQ(lbl.geometry(), QRect(3, 4, 50, 13));
  EXPECT_EQ(lbl.FontColor(), QColor(0, 0, 128));
  // Texts reach Qt, and through it the accessibility layer, only once the
  // control is polished; then all of them, whenever the polish comes.
  EXPECT_TRUE(lbl.text().isEmpty());
  EXPECT_TRUE(lbl.accessibleName().isEmpty());
  form.ensurePolished();
  EXPECT_EQ(lbl.text(), QStringLiteral("A & B"));
  EXPECT_EQ(lbl.accessibleName(), QStringLiteral("Both"));
  EXPECT_EQ(lbl.accessibleDescription(), QStringLiteral("A and B"));
  lbl.SetCaption(QStringLiteral("C"));
  EXPECT_EQ(lbl.text(), QStringLiteral("C"));
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  lst.setFocus(Qt::OtherFocusReason);
  QTest::keyClick(&lst, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), &cbo);
  EXPECT_THROW(FindComponent<TListBox>(form, QStringLiteral("cbo")), Exception);
  EXPECT_THROW(FindComponent<TListBox>(form, QStringLiteral("none")), Exception);
}

TEST_F(LayoutLoaderTest, AtNinetySixDpiTheLayoutKeepsItsStoredGeometry) {
  EXPECT_DOUBLE_EQ(SystemTextHeight(QStringLiteral("MS Sans Serif"), 11, 13), 13.0);
  EXPECT_DOUBLE_EQ(LayoutScale(13, 16), 16.0 / 13.0);
  EXPECT_DOUBLE_EQ(LayoutScale(0, 16), 1.0);
}

struct ErrorRow {
  const char* name;
  const char* layout;
  std::vector<std::string> parts;  // besides the file's path
};

class LayoutErrorTest : public LayoutLoaderTest, public ::testing::WithParamInterface<ErrorRow> {};

TEST_P(LayoutErrorTest, NamesTheFileAndTheEntry) {
  const QString path = Write(GetParam().layout);
  TfrmProbe form;
  try {
    LoadLayout(form, path);
    FAIL() << "no error";
  } catch (const Exception& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(path.toStdString()), std::string::npos) << message;
    for (const std::string& part : GetParam().parts) {
      EXPECT_NE(message.find(part), std::string::npos) << message << " lacks " << part;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LayoutErrorTest,
    ::testing::Values(
        ErrorRow{"Malformed", R"({ "class": "TfrmProbe", )", {"malformed layout"}},
        ErrorRow{"NotAnObject", R"([1, 2])", {"malformed layout", "not an object"}},
        ErrorRow{
            "WrongForm", R"({ "class": "TfrmOther", "name": "f" })", {"TfrmOther", "TfrmProbe"}},
        ErrorRow{"UnknownKey", R"({ "class": "TfrmProbe", "name": "f", "extra": 1 })", {"extra"}},
        ErrorRow{"UnknownClass",
                 R"({ "class": "TfrmProbe", "name": "f", "components": [
                      { "class": "TLabel", "name": "ok" },
                      { "class": "TNoSuch", "name": "Ghost" } ] })",
                 {"Ghost", "unknown class TNoSuch"}},
        ErrorRow{"UnknownComponentProperty",
                 R"({ "class": "TfrmProbe", "name": "f", "components": [
                      { "class": "TLabel", "name": "Label1", "properties": { "colour": 1 } } ] })",
                 {"Label1 (TLabel)", "unknown property colour"}},
        ErrorRow{"UnknownFormProperty",
                 R"({ "class": "TfrmProbe", "name": "f", "properties": { "tabOrder": 1 } })",
                 {"f (TfrmProbe)", "unknown property tabOrder"}},
        ErrorRow{"WrongKindOfValue",
                 R"({ "class": "TfrmProbe", "name": "f", "components": [
                      { "class": "TLabel", "name": "L", "properties": { "geometry": "wide" } } ] })",
                 {"L (TLabel)", "property geometry", "[left, top, width, height]"}},
        ErrorRow{
            "UnknownEnumerator",
            R"({ "class": "TfrmProbe", "name": "f", "properties": { "borderStyle": "bsThick" } })",
            {"property borderStyle", "TBorderStyle"}},
        ErrorRow{"ComponentsNotAnArray",
                 R"({ "class": "TfrmProbe", "name": "f", "components": {} })",
                 {"components", "array"}},
        ErrorRow{
            "ComponentWithoutName",
            R"({ "class": "TfrmProbe", "name": "f", "components": [ { "class": "TLabel" } ] })",
            {"component 1", "\"name\""}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(LayoutLoaderTest, MissingFileAndMissingPictureAreClearErrors) {
  TfrmProbe form;
  const QString missing = FDir.filePath(QStringLiteral("none.json"));
  EXPECT_THROW(
      {
        try {
          LoadLayout(form, missing);
        } catch (const Exception& e) {
          EXPECT_EQ(std::string(e.what()), "Cannot read layout " + missing.toStdString());
          throw;
        }
      },
      Exception);
  TfrmProbe other;
  try {
    LoadLayout(other, Write(R"({ "class": "TfrmProbe", "name": "f", "components": [
        { "class": "TImage", "name": "I", "properties": { "picture": "/no/such.png" } } ] })"));
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot load picture /no/such.png");
  }
}

// A picture whose reader can check it is only checked while its window
// loads, and decoded once the window is polished (as when it shows); one
// that passes its check and then fails to decode is reported once, and its
// control stays empty.
std::atomic<int> GProbeReads{0};

TEST_F(LayoutLoaderTest, CheckedPicturesDecodeOnlyForAShownWindow) {
  RegisterPictureReader(
      QStringLiteral("probe"),
      [](const QString& path) {
        ++GProbeReads;
        if (path.contains(QLatin1String("broken"))) {
          throw Exception("Cannot read picture " + path.toStdString() + ": damaged");
        }
        QImage image(10, 10, QImage::Format_RGB32);
        image.fill(Qt::red);
        return image;
      },
      [](const QString&) { return QSize(10, 10); });
  QStringList reports;
  const TErrorPresenter previous =
      SetErrorPresenter([&reports](const QString&, const QString& message) { reports << message; });
  const QString layout = QStringLiteral(R"({ "class": "TfrmProbe", "name": "f", "components": [
      { "class": "TImage", "name": "I", "properties": { "picture": "%1", "autoSize": true } } ] })");

  GProbeReads = 0;
  {
    TfrmProbe unseen;
    LoadLayout(unseen, Write(layout.arg(QStringLiteral("good.probe")).toUtf8().constData()));
    EXPECT_EQ(FindComponent<TImage>(unseen, QStringLiteral("I")).size(), QSize(10, 10));
  }
  EXPECT_EQ(GProbeReads, 0) << "loading the window decoded its picture";

  const struct {
    const char* file;
    bool shown;
  } rows[] = {{"good.probe", true}, {"broken.probe", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    reports.clear();
    GProbeReads = 0;
    TfrmProbe form;
    LoadLayout(form, Write(layout.arg(QLatin1String(row.file)).toUtf8().constData()));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const TImage& image = FindComponent<TImage>(form, QStringLiteral("I"));
    // Decoded on a worker: the picture or the report comes once it is read.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !image.pixmap().isNull() || !reports.isEmpty(); }));
    EXPECT_EQ(GProbeReads, 1);
    EXPECT_EQ(!image.pixmap().isNull(), row.shown);
    EXPECT_EQ(reports.size(), row.shown ? 0 : 1) << reports.join('\n').toStdString();
  }
  SetErrorPresenter(previous);
}

}  // namespace
}  // namespace korvalen

#include "LayoutLoaderTest.moc"
