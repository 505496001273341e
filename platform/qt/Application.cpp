#include "platform/qt/Application.h"

#include "platform/qt/Clipboard.h"
#include "platform/qt/Components.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/Fonts.h"
#include "platform/x11/X11.h"

#include <QtGui/qguiapplication_platform.h>
#include <QByteArray>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QWindow>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvalen {
namespace {

TApplication* GApplication = nullptr;

// Posted by Terminate; the loop ends when it reaches it, after every event
// posted before it.
const QEvent::Type TerminateEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Qt's own connection where Qt draws on X11, so that the program opens none
// of its own; none on any other platform.
TX11 QtX11() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return TX11::Borrow(x11 != nullptr ? x11->connection() : nullptr);
}

// The client leader Qt creates for the program is named after the
// application too; only the title window may carry the title. Qt's own
// setter writes the application's name in place of an empty title, so the
// names are written here.
void BlankClientLeaderName(const TX11& x, xcb_window_t window) {
  static constexpr std::array<std::string_view, 1> kLeader = {"WM_CLIENT_LEADER"};
  const std::vector<std::uint32_t> leader =
      PropertyWords(x, AskProperty(x, window, x.Atoms(kLeader)[0], XCB_ATOM_WINDOW));
  if (leader.size() == 1 && leader.front() != XCB_WINDOW_NONE && leader.front() != window) {
    SetWindowName(x, leader.front(), {});
  }
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
  FX11 = std::make_unique<TX11>(QtX11());
  if (FX11->Usable()) {
    BlankClientLeaderName(*FX11, static_cast<xcb_window_t>(FTitleWindow->winId()));
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
  // Qt would write the application's name for an empty title.
  SetWindowName(*FX11, static_cast<TXWindow>(FTitleWindow->winId()), text.toStdString());
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
