#include "tests/platform/QtTestMain.h"

#include "platform/qt/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace korvalen::test {

TReportRecorder::TReportRecorder()
    : FPrevious(SetErrorPresenter([this](const QString& title, const QString& message) {
        FTitles << title;
        FMessages << message;
      })) {}

TReportRecorder::~TReportRecorder() {
  ShowQueuedReports();
  SetErrorPresenter(FPrevious);
}

const QStringList& TReportRecorder::Messages() {
  ShowQueuedReports();
  return FMessages;
}

const QStringList& TReportRecorder::Titles() {
  ShowQueuedReports();
  return FTitles;
}

}  // namespace korvalen::test

int main(int argc, char** argv) {
  // Test discovery runs the binary without the tests' environment.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  korvalen::TApplication application(argc, argv);
  // No test may block on a message box.
  korvalen::SetErrorPresenter([](const QString&, const QString&) {});
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
