#include "platform/qt/ErrorGuard.h"

#include "platform/qt/Application.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace korvalen {
namespace {

void ShowMessageBox(const QString& title, const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), title, message);
}

TErrorPresenter& Presenter() {
  static TErrorPresenter presenter = ShowMessageBox;
  return presenter;
}

// A report raised while a report is shown would stack message boxes.
bool GReporting = false;

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

void ReportCurrentException() noexcept {
  try {
    const QString message = ExceptionMessage(std::current_exception());
    const TApplication* application = Application();
    const QString title = application != nullptr ? application->Title() : QString();
    std::fprintf(stderr, "%s: %s\n",
                 qUtf8Printable(title.isEmpty() ? QStringLiteral("error") : title),
                 qUtf8Printable(message));
    std::fflush(stderr);
    if (!GReporting && QApplication::instance() != nullptr) {
      GReporting = true;
      struct TReset {
        ~TReset() { GReporting = false; }
      } reset;
      Presenter()(title, message);
    }
  } catch (...) {
    // The reporter is the last line: a failure in it has nowhere to go.
  }
}

}  // namespace korvalen
