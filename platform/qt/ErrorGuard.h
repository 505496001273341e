#pragma once

// The program's handling of errors that escape an event handler. Handlers
// catch nothing: they are connected through ConnectEvent, which runs each
// call under RunGuarded, and TApplication::notify guards every other event.
// The one reporter writes the message to standard error at once, one line,
// and queues it for a message box titled with the application title; the
// box opens once the event being delivered is over, never as a nested loop
// inside it. It touches no control; the program goes on.
//
//   ConnectEvent(BitBtn1, &QPushButton::clicked, this, &TfrmConvert::BitBtn1Click);
//   // BitBtn1Click throws Exception("Cannot open clipboard"): the user sees
//   // "Cannot open clipboard" after the click, and the window stays as it was.
//
// Nothing throws through Qt's meta-object code either. A stored property's
// setter that can fail validates before it changes anything and is written
// through RunPropertySetter: during a layout load its error is held and the
// loader raises it once the write has returned (TPropertyWriteScope).

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace korvalen {

// Shows a reported error to the user. The default opens a QMessageBox;
// tests put a recorder in its place.
using TErrorPresenter = std::function<void(const QString& title, const QString& message)>;

// Replaces the presenter and returns the previous one. An empty presenter
// restores the message box.
TErrorPresenter SetErrorPresenter(TErrorPresenter presenter);

// Reports an error: one line "title: message" on standard error now, and
// the message box once the current event is over. A report made while a
// box is shown is written but not shown, so boxes never stack.
void ReportError(const QString& message) noexcept;

// Reports the exception being handled; call only inside a catch block.
void ReportCurrentException() noexcept;

// Shows the reports still queued, in order, now. The application calls it
// when its run ends, so that a report made while quitting is still seen.
void ShowQueuedReports() noexcept;

// The message an exception reports: what() of a standard exception, a fixed
// text for anything else.
QString ExceptionMessage(const std::exception_ptr& error);

// Where an error of a property setter goes while the layout loader writes
// one property: created before the write, asked after it returns.
class TPropertyWriteScope {
 public:
  TPropertyWriteScope() noexcept;
  ~TPropertyWriteScope();
  TPropertyWriteScope(const TPropertyWriteScope&) = delete;
  TPropertyWriteScope& operator=(const TPropertyWriteScope&) = delete;

  // Rethrows the error a setter held during the write, if any.
  void RaiseHeld();

  // The scope of the write in progress on this thread, or nullptr.
  static TPropertyWriteScope* Current() noexcept;
  void Hold(std::exception_ptr error) noexcept { FError = std::move(error); }

 private:
  std::exception_ptr FError;
  TPropertyWriteScope* FOuter;
};

// Runs a setter's work for Qt's meta-object code: an error is held for the
// loader's write in progress, or reported when Qt wrote the property
// outside a load.
template <typename Fn>
void RunPropertySetter(Fn&& fn) noexcept {
  try {
    std::forward<Fn>(fn)();
  } catch (...) {
    if (TPropertyWriteScope* scope = TPropertyWriteScope::Current()) {
      scope->Hold(std::current_exception());
    } else {
      ReportCurrentException();
    }
  }
}

template <typename Fn>
void RunGuarded(Fn&& fn) noexcept {
  try {
    std::forward<Fn>(fn)();
  } catch (...) {
    ReportCurrentException();
  }
}

// Connects signal of sender to handler(receiver, sender). The signal's own
// arguments are dropped: a handler reads what it needs from the controls.
template <typename Sender, typename Signal, typename Receiver, typename Handler>
QMetaObject::Connection ConnectEvent(Sender* sender, Signal signal, Receiver* receiver,
                                     Handler handler) {
  return QObject::connect(sender, signal, receiver, [sender, receiver, handler]() {
    RunGuarded([&] { std::invoke(handler, receiver, static_cast<QObject*>(sender)); });
  });
}

}  // namespace korvalen
