#include "platform/qt/Application.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/runtime/Exceptions.h"
#include "tests/platform/QtTestMain.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace korvalen {
namespace {

class TThrowingHandler : public QObject {
 public:
  void ButtonClick(QObject* Sender) {
    ++FCalls;
    FLastSender = Sender;
    if (FCalls == 1) {
      throw Exception("Cannot open clipboard");
    }
    if (FCalls == 2) {
      throw 42;
    }
  }
  int FCalls = 0;
  QObject* FLastSender = nullptr;
};

TEST(ErrorGuardTest, HandlerErrorIsReportedAndTheProgramGoesOn) {
  test::TReportRecorder reports;
  QPushButton button;
  TThrowingHandler handler;
  ConnectEvent(&button, &QPushButton::clicked, &handler, &TThrowingHandler::ButtonClick);
  button.show();

  ::testing::internal::CaptureStderr();
  QTest::mouseClick(&button, Qt::LeftButton);
  const std::string written = ::testing::internal::GetCapturedStderr();
  QTest::mouseClick(&button, Qt::LeftButton);
  QTest::mouseClick(&button, Qt::LeftButton);

  EXPECT_EQ(handler.FCalls, 3);
  EXPECT_EQ(handler.FLastSender, &button);
  EXPECT_EQ(reports.Messages(), (QStringList{QStringLiteral("Cannot open clipboard"),
                                             QStringLiteral("Unknown error")}));
  EXPECT_EQ(reports.Titles().value(0), Application()->Title());
  EXPECT_EQ(written, "platform_qt_test: Cannot open clipboard\n");
}

// An object whose event handling fails outside any connected handler.
class TFailingReceiver : public QObject {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      throw std::runtime_error("failed in an event");
    }
    return QObject::event(event);
  }
};

TEST(ErrorGuardTest, NotifyIsTheLastLine) {
  test::TReportRecorder reports;
  TFailingReceiver receiver;
  QEvent sent(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &sent));
  QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  EXPECT_EQ(reports.Messages(), (QStringList{QStringLiteral("failed in an event"),
                                             QStringLiteral("failed in an event")}));
}

// A box opened inside the failing event would run a nested loop there,
// delivering further events to a receiver half way through one.
TEST(ErrorGuardTest, TheBoxOpensOnceTheFailingEventIsOver) {
  bool delivering = false;
  QStringList shown;
  std::vector<bool> shownWhileDelivering;
  const TErrorPresenter previous = SetErrorPresenter([&](const QString&, const QString& message) {
    shown << message;
    shownWhileDelivering.push_back(delivering);
  });
  TFailingReceiver receiver;
  ::testing::internal::CaptureStderr();
  delivering = true;
  QEvent sent(QEvent::User);
  QCoreApplication::sendEvent(&receiver, &sent);
  RunGuarded([] { throw Exception("failed in a handler"); });
  delivering = false;
  const std::string written = ::testing::internal::GetCapturedStderr();
  QCoreApplication::processEvents();
  SetErrorPresenter(previous);
  // Standard error has it at once; the box waits for the event to end.
  EXPECT_EQ(written,
            "platform_qt_test: failed in an event\nplatform_qt_test: failed in a handler\n");
  EXPECT_EQ(shown, (QStringList{QStringLiteral("failed in an event"),
                                QStringLiteral("failed in a handler")}));
  EXPECT_EQ(shownWhileDelivering, (std::vector<bool>{false, false}));
}

TEST(ErrorGuardTest, ReportWhileReportingIsWrittenButNotShownTwice) {
  int shown = 0;
  const TErrorPresenter previous = SetErrorPresenter([&](const QString&, const QString&) {
    ++shown;
    RunGuarded([] { throw Exception("second"); });
    // The box's own loop delivers what is queued; nothing stacks on it.
    QCoreApplication::processEvents();
  });
  ::testing::internal::CaptureStderr();
  RunGuarded([] { throw Exception("first"); });
  QCoreApplication::processEvents();
  const std::string written = ::testing::internal::GetCapturedStderr();
  SetErrorPresenter(previous);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(written, "platform_qt_test: first\nplatform_qt_test: second\n");
}

}  // namespace
}  // namespace korvalen
