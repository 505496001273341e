#include "platform/qt/Application.h"

#include "platform/qt/Clipboard.h"
#include "platform/qt/Components.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/Fonts.h"

#include <QtGui/qguiapplication_platform.h>
#include <QByteArray>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace korvalen {
namespace {

TApplication* GApplication = nullptr;

// Posted by Terminate; the loop ends when it reaches it, after every event
// posted before it.
const QEvent::Type TerminateEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

xcb_connection_t* X11Connection() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(qstrlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// Sets WM_NAME and _NET_WM_NAME of an X window to exactly text. Qt's own
// setter writes the application's name in place of an empty title, and an
// empty name is what takes a window out of a search by name.
void SetX11WindowName(xcb_connection_t* connection, xcb_window_t window, const QString& text) {
  const QByteArray latin1 = text.toLatin1();
  const QByteArray utf8 = text.toUtf8();
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                      8, static_cast<std::uint32_t>(latin1.size()), latin1.constData());
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, Atom(connection, "_NET_WM_NAME"),
                      Atom(connection, "UTF8_STRING"), 8, static_cast<std::uint32_t>(utf8.size()),
                      utf8.constData());
  xcb_flush(connection);
}

// The client leader Qt creates for the program is named after the
// application too; only the title window may carry the title.
void BlankClientLeaderName(xcb_connection_t* connection, xcb_window_t window) {
  const xcb_get_property_cookie_t cookie = xcb_get_property(
      connection, 0, window, Atom(connection, "WM_CLIENT_LEADER"), XCB_ATOM_WINDOW, 0, 1);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
  if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 4) {
    xcb_window_t leader = XCB_WINDOW_NONE;
    std::memcpy(&leader, xcb_get_property_value(reply), sizeof leader);
    if (leader != XCB_WINDOW_NONE && leader != window) {
      SetX11WindowName(connection, leader, QString());
    }
  }
  std::free(reply);
}

// The window that carries the title for the single-instance guard. It is
// never shown, so it takes no icon: giving it the application's would cost
// converting every size of the icon and sending them all to the display.
class TTitleWindow final : public QWindow {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ApplicationWindowIconChange) {
      return true;
    }
    return QWindow::event(event);
  }
};

}  // namespace

QString TitleFromFileName(const QString& path) {
  QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  if (dot >= 0) {
    name.truncate(dot);
  }
  if (name.isEmpty()) {
    return name;
  }
  // The first character stays as the file has it.
  const qsizetype first = name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1;
  return name.left(first) + name.mid(first).toLower();
}

TApplication* Application() noexcept {
  return GApplication;
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv), FSystemClipboard(std::make_unique<TQtClipboard>()) {
  GApplication = this;
  FClipboard = FSystemClipboard.get();
  FTitle = TitleFromFileName(applicationFilePath());
  setApplicationName(FTitle);
  // The installed desktop entry's id: docks and task bars match the windows
  // to the entry, and so to its icon, by it.
  setDesktopFileName(QStringLiteral("com.example.korvalen.converter"));
  // Forms close themselves and the main form ends the run; a hidden main
  // form must not end it when its last visible window closes.
  setQuitOnLastWindowClosed(false);
  InstallFontSubstitutes();

  FTitleWindow = std::make_unique<TTitleWindow>();
  FTitleWindow->setTitle(FTitle);
  // X11 has no window of zero size; one pixel is the least it takes. The
  // window is never mapped, so its size shows nowhere.
  FTitleWindow->setGeometry(0, 0, 1, 1);
  FTitleWindow->create();
  if (xcb_connection_t* connection = X11Connection()) {
    BlankClientLeaderName(connection, static_cast<xcb_window_t>(FTitleWindow->winId()));
  }
}

TApplication::~TApplication() {
  DestroyForms();
  ShowQueuedReports();
  FTitleWindow.reset();
  GApplication = nullptr;
}

WId TApplication::TitleWindowHandle() const {
  return FTitleWindow->winId();
}

void TApplication::SetTitleWindowText(const QString& text) {
  FTitleWindow->setTitle(text);
  if (xcb_connection_t* connection = X11Connection()) {
    SetX11WindowName(connection, static_cast<xcb_window_t>(FTitleWindow->winId()), text);
  }
}

void TApplication::RegisterForm(TForm* form) {
  if (!FMainForm) {
    FMainForm.reset(form);
  }
}

void TApplication::FormDestroyed(TForm* form) noexcept {
  // reset() clears the pointer before it deletes, so only a form destroyed
  // elsewhere is still held here.
  if (FMainForm.get() == form) {
    static_cast<void>(FMainForm.release());
  }
}

void TApplication::Terminate(int exitCode) {
  FTerminated = true;
  if (exitCode != 0) {
    FExitCode = exitCode;
  }
  postEvent(this, new QEvent(TerminateEvent));
}

int TApplication::Run() {
  int code = FExitCode;
  if (!FTerminated) {
    if (FMainForm != nullptr && FShowMainForm) {
      FMainForm->show();
    }
    FRunning = true;
    code = exec();
    FRunning = false;
  }
  FTerminated = false;
  FExitCode = 0;
  DestroyForms();
  // A report made while quitting (the loop may never have run) is still
  // seen before the program exits.
  ShowQueuedReports();
  return code;
}

void TApplication::DestroyForms() noexcept {
  // The main form goes first, so that its components release what they hold
  // before any other window ends.
  FMainForm.reset();
  // A form without an owner frees itself when it closes; one still open
  // when the run ends has nobody else to end it. Watched, because ending one
  // may end another.
  QList<QPointer<TForm>> unowned;
  for (QWidget* window : topLevelWidgets()) {
    auto* form = qobject_cast<TForm*>(window);
    if (form != nullptr && form->parent() == nullptr) {
      unowned.append(form);
    }
  }
  for (const QPointer<TForm>& form : unowned) {
    delete form.data();
  }
}

IClipboard& TApplication::Clipboard() const noexcept {
  return *FClipboard;
}

void TApplication::SetClipboard(IClipboard* clipboard) noexcept {
  FClipboard = clipboard != nullptr ? clipboard : FSystemClipboard.get();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

bool TApplication::event(QEvent* event) {
  if (event->type() == TerminateEvent) {
    if (FRunning) {
      exit(FExitCode);
    }
    return true;
  }
  if (event->type() == QEvent::LocaleChange) {
    Q_EMIT LocaleChanged();
  }
  return QApplication::event(event);
}

}  // namespace korvalen
