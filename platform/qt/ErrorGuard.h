#pragma once

// The program's handling of errors that escape an event handler. Handlers
// catch nothing: they are connected through ConnectEvent, which runs each
// call under RunGuarded, and TApplication::notify guards every other event.
// The one reporter shows the message in a message box titled with the
// application title, writes it to standard error, and touches no control;
// the program goes on.
//
//   ConnectEvent(BitBtn1, &QPushButton::clicked, this, &TfrmConvert::BitBtn1Click);
//   // BitBtn1Click throws Exception("Cannot open clipboard"): the user sees
//   // "Cannot open clipboard", and the window stays as it was.

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

// Reports the exception being handled; call only inside a catch block.
void ReportCurrentException() noexcept;

// The message an exception reports: what() of a standard exception, a fixed
// text for anything else.
QString ExceptionMessage(const std::exception_ptr& error);

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
