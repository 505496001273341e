#pragma once

// What the Qt tests share: a recorder of reported errors and a scoped
// locale environment.

#include "platform/qt/ErrorGuard.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

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

// Sets an environment variable for its lifetime and restores the old value.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

}  // namespace korvalen::test
