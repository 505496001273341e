#pragma once

// What the Qt tests share: a recorder of reported errors, and what every
// test that needs a piece of a session shares (TScopedEnv and the rest).

#include "platform/qt/ErrorGuard.h"
#include "tests/support/Session.h"

#include <QString>
#include <QStringList>

namespace korvalen::test {

// Records every reported error instead of showing a message box, for its
// lifetime. Reading it first shows the reports still queued, as the end of
// the current event would.
class TReportRecorder {
 public:
  TReportRecorder();
  ~TReportRecorder();
  TReportRecorder(const TReportRecorder&) = delete;
  TReportRecorder& operator=(const TReportRecorder&) = delete;

  const QStringList& Messages();
  const QStringList& Titles();

 private:
  QStringList FMessages;
  QStringList FTitles;
  TErrorPresenter FPrevious;
};

}  // namespace korvalen::test
