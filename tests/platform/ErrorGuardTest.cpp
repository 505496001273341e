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

TEST(ErrorGuardTest, ReportWhileReportingIsWrittenButNotShownTwice) {
  int shown = 0;
  const TErrorPresenter previous = SetErrorPresenter([&](const QString&, const QString&) {
    ++shown;
    RunGuarded([] { throw Exception("second"); });
  });
  ::testing::internal::CaptureStderr();
  RunGuarded([] { throw Exception("first"); });
  const std::string written = ::testing::internal::GetCapturedStderr();
  SetErrorPresenter(previous);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(written, "platform_qt_test: first\nplatform_qt_test: second\n");
}

}  // namespace
}  // namespace korvalen
