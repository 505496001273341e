#pragma once

// The application object: the program's title, its own never-shown title
// window, the main form, the message loop and the last line of the error
// guard.

#include <QApplication>
#include <QString>

#include <memory>

class QWindow;

namespace korvalen {

class IClipboard;
class TForm;
class TX11;

// The title a program file gives: no directory, nothing from the first "."
// on, the first character as it is and every later one lower case.
// "/usr/bin/VEDEDORU.EXE" gives "Vededoru"; "korvalen-converter" gives
// "korvalen-converter", "Converter" gives "Converter"; ".x" gives "".
QString TitleFromFileName(const QString& path);

class TApplication : public QApplication {
  Q_OBJECT

 public:
  // The title comes from the resolved program file, so a symbolic link or a
  // renamed copy is named by what actually runs.
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  const QString& Title() const noexcept { return FTitle; }

  // The application's own top-level window: created natively, never shown,
  // zero size, its text the title. On X11 another process finds it by its
  // WM_NAME / _NET_WM_NAME.
  QWindow& TitleWindow() const noexcept { return *FTitleWindow; }
  WId TitleWindowHandle() const;
  // Sets the title window's text and its names on X11 to exactly `text`
  // ("" takes it out of a search by name).
  void SetTitleWindowText(const QString& text);

  // The process's X connection: Qt's where Qt draws on X11; none (not
  // Usable()) on any other platform.
  const TX11& X11() const noexcept { return *FX11; }

  // The first form created, which the application owns and destroys when
  // Run() ends; nullptr before and after.
  TForm* MainForm() const noexcept { return FMainForm.get(); }
  // Called by every top-level form as it is constructed: the first becomes
  // the main form.
  void RegisterForm(TForm* form);
  // Called by every form as it is destroyed. A main form destroyed by other
  // means (its constructor failed, or a caller deleted it) is let go here.
  void FormDestroyed(TForm* form) noexcept;

  bool ShowMainForm() const noexcept { return FShowMainForm; }
  void SetShowMainForm(bool show) noexcept { FShowMainForm = show; }

  // Posts a quit request to the message loop; the loop ends once it reaches
  // it. Run() then returns exitCode; a non-zero code is never replaced by a
  // later request's zero.
  void Terminate(int exitCode = 0);
  bool Terminated() const noexcept { return FTerminated; }
  int ExitCode() const noexcept { return FExitCode; }

  // Shows the main form (centred, unless ShowMainForm is off), runs the
  // message loop until a quit request, then destroys the main form and
  // after it any form without an owner that was never closed. Reports still
  // queued are shown before it returns. Returns the loop's exit code.
  int Run();

  // The clipboard the handlers write to; tests put a failing one in its place.
  IClipboard& Clipboard() const noexcept;
  // nullptr restores the system clipboard. The caller keeps ownership.
  void SetClipboard(IClipboard* clipboard) noexcept;

  // The last line of the error guard: an error escaping an event is reported
  // and the event counts as not handled, never unwinding through Qt.
  bool notify(QObject* receiver, QEvent* event) override;

 Q_SIGNALS:
  // The system's locale changed: what the program reads from it (number
  // separators) is read again by whoever listens.
  void LocaleChanged();

 protected:
  bool event(QEvent* event) override;

 private:
  void DestroyForms() noexcept;

  QString FTitle;
  std::unique_ptr<QWindow> FTitleWindow;
  std::unique_ptr<TX11> FX11;
  std::unique_ptr<IClipboard> FSystemClipboard;
  IClipboard* FClipboard = nullptr;
  std::unique_ptr<TForm> FMainForm;
  bool FShowMainForm = true;
  bool FTerminated = false;
  int FExitCode = 0;
  bool FRunning = false;
};

// The one application object; nullptr before it exists and after it ends.
TApplication* Application() noexcept;

}  // namespace korvalen
