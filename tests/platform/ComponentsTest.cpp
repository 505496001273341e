#include "platform/qt/Components.h"
#include "platform/runtime/Exceptions.h"
#include "tests/platform/QtTestMain.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace korvalen {
namespace {

std::vector<int> GDestroyed;

// Records how many components its owner listed while it was constructed.
class TRecorder : public TComponent {
 public:
  TRecorder(QObject* owner, int id)
      : TComponent(owner),
        FId(id),
        FCountAtConstruction(ContainerOf(owner) ? ContainerOf(owner)->ComponentCount() : -1) {}
  ~TRecorder() override { GDestroyed.push_back(FId); }
  int CountAtConstruction() const { return FCountAtConstruction; }

 private:
  int FId;
  int FCountAtConstruction;
};

// A main form that is not the one under test, so closing a test's form is
// not closing the program's main form.
class ComponentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GDestroyed.clear();
    FMain = std::make_unique<TForm>();
  }
  std::unique_ptr<TForm> FMain;
};

TEST_F(ComponentsTest, OwnerListsComponentsInCreationOrderFromTheirConstruction) {
  TForm form;
  auto* first = new TRecorder(&form, 1);
  auto* second = new TRecorder(&form, 2);
  EXPECT_EQ(first->CountAtConstruction(), 1);
  EXPECT_EQ(second->CountAtConstruction(), 2);
  EXPECT_EQ(form.Components(), (std::vector<QObject*>{first, second}));
  EXPECT_EQ(first->Owner(), &form);
}

TEST_F(ComponentsTest, FormDestroysItsComponentsLastCreatedFirst) {
  {
    TForm form;
    new TRecorder(&form, 1);
    auto* middle = new TRecorder(&form, 2);
    new TRecorder(middle, 21);
    new TRecorder(&form, 3);
  }
  // 2's own destructor runs before the component base destroys what 2 owns.
  EXPECT_EQ(GDestroyed, (std::vector<int>{3, 2, 21, 1}));
}

TEST_F(ComponentsTest, ComponentDestroyedAloneLeavesItsOwnersList) {
  TForm form;
  auto* first = new TRecorder(&form, 1);
  auto* second = new TRecorder(&form, 2);
  delete first;
  EXPECT_EQ(form.Components(), std::vector<QObject*>{second});
}

// The list owns nothing: whatever Qt ends or hands to another parent leaves
// it at once, so the form's destruction never reaches it again.
TEST_F(ComponentsTest, TheListFollowsTheQObjectParent) {
  const struct {
    const char* name;
    std::function<void(QObject& component, QObject& elsewhere)> take;
    bool survivesTheForm;
  } rows[] = {
      {"control deleted", [](QObject& control, QObject&) { delete &control; }, false},
      {"control given another parent",
       [](QObject& control, QObject& elsewhere) {
         static_cast<QWidget&>(control).setParent(&static_cast<QWidget&>(elsewhere));
       },
       true},
      {"control deleted later",
       [](QObject& control, QObject&) {
         control.deleteLater();
         QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
       },
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget elsewhere;
    QPointer<QWidget> control;
    {
      TForm form;
      auto* first = new TRecorder(&form, 1);
      control = new QWidget(&form);
      form.InsertComponent(control);
      auto* last = new TRecorder(&form, 2);
      row.take(*control, elsewhere);
      EXPECT_EQ(form.Components(), (std::vector<QObject*>{first, last}));
    }
    EXPECT_EQ(!control.isNull(), row.survivesTheForm);
  }
}

TEST_F(ComponentsTest, ComponentWithoutContainerOwnerIsListedNowhere) {
  QObject plain;
  auto* owned = new TRecorder(&plain, 1);
  EXPECT_EQ(owned->CountAtConstruction(), -1);
  TRecorder orphan(nullptr, 2);
  EXPECT_EQ(orphan.Owner(), nullptr);
}

// A setter runs inside Qt's meta-object code when a property is written by
// name; its error is reported there, never thrown through Qt.
TEST_F(ComponentsTest, AFailingPropertyWriteIsReportedNotThrownThroughQt) {
  test::TReportRecorder reports;
  TForm form;
  form.SetColor(QStringLiteral("#102030"));
  bool thrown = false;
  try {
    form.setProperty("color", QStringLiteral("no such colour"));
  } catch (...) {
    thrown = true;
  }
  EXPECT_FALSE(thrown);
  EXPECT_EQ(form.Color(), QStringLiteral("#102030"));
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
  EXPECT_EQ(reports.Messages(), QStringList{QStringLiteral("Unknown colour no such colour")});
  // Called from code, the setter still raises.
  EXPECT_THROW(form.SetColor(QStringLiteral("no such colour")), Exception);
}

struct CloseRow {
  const char* name;
  TForm::TCloseAction action;
  bool throws;
  bool visibleAfter;
  bool destroyed;
};

class FormCloseTest : public ComponentsTest, public ::testing::WithParamInterface<CloseRow> {};

TEST_P(FormCloseTest, ActionDecidesWhatHappens) {
  test::TReportRecorder reports;
  QPointer<TForm> form = new TForm;
  const CloseRow row = GetParam();
  form->SetOnClose([row](QObject*, TForm::TCloseAction& action) {
    if (row.throws) {
      throw Exception("close failed");
    }
    action = row.action;
  });
  form->show();
  form->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(form.isNull(), row.destroyed);
  if (!form.isNull()) {
    EXPECT_EQ(form->isVisible(), row.visibleAfter);
    delete form;
  }
  EXPECT_EQ(reports.Messages(),
            row.throws ? QStringList{QStringLiteral("close failed")} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormCloseTest,
    ::testing::Values(CloseRow{"HideIsTheDefault", TForm::caHide, false, false, false},
                      CloseRow{"FreeDestroys", TForm::caFree, false, false, true},
                      CloseRow{"NoneKeepsItOpen", TForm::caNone, false, true, false},
                      CloseRow{"ErrorKeepsItOpenAndIsReported", TForm::caFree, true, true, false}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace korvalen
