#pragma once

// The welcome window: the program's main window for the whole run. It
// advertises the maker with a picture, headings, a short text and a link to
// the maker's home page; "Continue" opens the conversion window and hides
// this one for good. Closing it, by any means, ends the program.
//
//   frmMain = new TfrmMain;      // the first form: the main window
//   Application()->Run();        // shows it centred
//   // "Continue": frmConvert shows, frmMain hides

#include "platform/qt/Components.h"
#include "platform/qt/Controls.h"
#include "ui/JustOne.h"
#include "ui/WinXP.h"

class QResizeEvent;

namespace korvalen {

class TfrmMain : public TForm {
  Q_OBJECT

 public:
  static constexpr const char* StoredLayout = ":/layouts/frmMain.json";

  // Loads the stored layout (a test may name another layout of TfrmMain)
  // and connects the handlers. Every error of the layout, of its picture or
  // of a component's constructor passes to the caller, and no window is left.
  explicit TfrmMain(QWidget* parent = nullptr, const QString& layout = QLatin1String(StoredLayout));
  ~TfrmMain() override;

  // The components, owned by the form, in the order the class declares them.
  TXJustOne* XJustOne1 = nullptr;
  TImage* Image1 = nullptr;
  TLabel* Label1 = nullptr;
  TButton* Button1 = nullptr;
  TWinXP* WinXP1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* Label4 = nullptr;
  TLabel* Label5 = nullptr;
  TLabel* Label6 = nullptr;
  TLabel* Label7 = nullptr;
  TLabel* Label8 = nullptr;

  // Hands the link's caption to the desktop's open operation (ShellOpen);
  // the outcome is not examined and the link keeps its colour.
  void Label1Click(QObject* Sender);
  // The link turns red while the pointer is on it, navy again once it leaves.
  void Label1MouseEnter(QObject* Sender);
  void Label1MouseLeave(QObject* Sender);
  // Creates the conversion window (frmConvert, no owner), brings it to the
  // front and hides this window, which stays the hidden main window. With a
  // conversion window open already, or this window hidden, it does nothing.
  void Button1Click(QObject* Sender);

 protected:
  // The picture fills the client area at any size: a larger window shows
  // more of it, never a stretched one.
  void resizeEvent(QResizeEvent* event) override;
};

// The welcome window while it exists; nullptr before and after.
extern TfrmMain* frmMain;

// The classes and the picture reader that the welcome window's layout needs:
// TXJustOne and TWinXP in the class registry, and JPEG files decoded through
// libjpeg (DecodeJpeg). Calling it again does nothing.
void RegisterWelcomeWindowClasses();

}  // namespace korvalen
