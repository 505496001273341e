#include "platform/qt/ErrorGuard.h"

#include "platform/qt/Application.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <deque>
#include <utility>

namespace korvalen {
namespace {

void ShowMessageBox(const QString& title, const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), title, message);
}

TErrorPresenter& Presenter() {
  static TErrorPresenter presenter = ShowMessageBox;
  return presenter;
}

struct TReport {
  QString Title;
  QString Message;
};

// Reports wait here for the end of the event that raised them.
std::deque<TReport>& Queue() {
  static std::deque<TReport> queue;
  return queue;
}

// A report raised while a report is shown would stack message boxes.
bool GPresenting = false;

thread_local TPropertyWriteScope* GPropertyWrite = nullptr;

}  // namespace

TErrorPresenter SetErrorPresenter(TErrorPresenter presenter) {
  TErrorPresenter previous = std::move(Presenter());
  Presenter() = presenter ? std::move(presenter) : TErrorPresenter(ShowMessageBox);
  return previous;
}

QString ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

void ReportError(const QString& message) noexcept {
  try {
    const TApplication* application = Application();
    const QString title = application != nullptr ? application->Title() : QString();
    std::fprintf(stderr, "%s: %s\n",
                 qUtf8Printable(title.isEmpty() ? QStringLiteral("error") : title),
                 qUtf8Printable(message));
    std::fflush(stderr);
    QCoreApplication* instance = QCoreApplication::instance();
    if (GPresenting || instance == nullptr) {
      return;
    }
    Queue().push_back({title, message});
    if (Queue().size() == 1) {
      QMetaObject::invokeMethod(instance, &ShowQueuedReports, Qt::QueuedConnection);
    }
  } catch (...) {
    // The reporter is the last line: a failure in it has nowhere to go.
  }
}

void ReportCurrentException() noexcept {
  try {
    ReportError(ExceptionMessage(std::current_exception()));
  } catch (...) {
    // As above.
  }
}

void ShowQueuedReports() noexcept {
  while (!GPresenting && !Queue().empty()) {
    try {
      const TReport report = Queue().front();
      Queue().pop_front();
      GPresenting = true;
      struct TReset {
        ~TReset() { GPresenting = false; }
      } reset;
      Presenter()(report.Title, report.Message);
    } catch (...) {
      // A presenter that fails has shown what it could; the line on
      // standard error is written already.
    }
  }
}

TPropertyWriteScope::TPropertyWriteScope() noexcept : FOuter(GPropertyWrite) {
  GPropertyWrite = this;
}

TPropertyWriteScope::~TPropertyWriteScope() {
  GPropertyWrite = FOuter;
}

void TPropertyWriteScope::RaiseHeld() {
  if (FError) {
    std::rethrow_exception(std::exchange(FError, nullptr));
  }
}

TPropertyWriteScope* TPropertyWriteScope::Current() noexcept {
  return GPropertyWrite;
}

}  // namespace korvalen
