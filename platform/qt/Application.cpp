#include "platform/qt/Application.h"

#include "format/FormatResult.h"
#include "platform/qt/Clipboard.h"
#include "platform/qt/Components.h"
#include "platform/qt/ErrorGuard.h"
#include "platform/qt/Fonts.h"

#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QWindow>

#include <algorithm>

namespace korvalen {
namespace {

TApplication* GApplication = nullptr;

// Posted by Terminate; the loop ends when it reaches it, after every event
// posted before it.
const QEvent::Type TerminateEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Where the program's icon is embedded, when the program carries one.
constexpr const char* ProgramIconPath = ":/icons/program.png";

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
  const qsizetype first = name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1;
  return name.left(first).toUpper() + name.mid(first).toLower();
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
  setDesktopFileName(QStringLiteral("korvalen-converter"));
  // Forms close themselves and the main form ends the run; a hidden main
  // form must not end it when its last visible window closes.
  setQuitOnLastWindowClosed(false);
  InstallFontSubstitutes();
  if (QFile::exists(QLatin1String(ProgramIconPath))) {
    setWindowIcon(QIcon(QLatin1String(ProgramIconPath)));
  }

  FTitleWindow = std::make_unique<QWindow>();
  FTitleWindow->setTitle(FTitle);
  // X11 has no window of zero size; one pixel is the least it takes. The
  // window is never mapped, so its size shows nowhere.
  FTitleWindow->setGeometry(0, 0, 1, 1);
  FTitleWindow->create();
}

TApplication::~TApplication() {
  DestroyForms();
  FTitleWindow.reset();
  GApplication = nullptr;
}

WId TApplication::TitleWindowHandle() const {
  return FTitleWindow->winId();
}

void TApplication::SetTitleWindowText(const QString& text) {
  FTitleWindow->setTitle(text);
}

void TApplication::RegisterForm(TForm* form) {
  FForms.push_back(form);
  if (FMainForm == nullptr) {
    FMainForm = form;
  }
}

void TApplication::UnregisterForm(TForm* form) noexcept {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), form), FForms.end());
  if (FMainForm == form) {
    FMainForm = nullptr;
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  postEvent(this, new QEvent(TerminateEvent));
}

int TApplication::Run() {
  int code = 0;
  if (!FTerminated) {
    if (FMainForm != nullptr && FShowMainForm) {
      FMainForm->show();
    }
    FRunning = true;
    code = exec();
    FRunning = false;
  }
  FTerminated = false;
  DestroyForms();
  return code;
}

void TApplication::DestroyForms() noexcept {
  // The main form goes first, so that its components release what they hold
  // before any other window ends.
  if (FMainForm != nullptr) {
    delete FMainForm;
  }
  while (!FForms.empty()) {
    delete FForms.back();
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
      exit(0);
    }
    return true;
  }
  if (event->type() == QEvent::LocaleChange) {
    ReadNumberSeparators();
  }
  return QApplication::event(event);
}

}  // namespace korvalen
