#pragma once

// Components and forms. A component has an owner, which lists its components
// in creation order and destroys them with itself (the last created first).
// A form is a top-level window that owns the controls and components laid
// out on it. Every form is created from a stored layout (LayoutLoader.h).

#include <QObject>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QCloseEvent;

namespace korvalen {

// What an owner keeps: its components in creation order.
class TComponentContainer {
 public:
  TComponentContainer() = default;
  TComponentContainer(const TComponentContainer&) = delete;
  TComponentContainer& operator=(const TComponentContainer&) = delete;
  virtual ~TComponentContainer();

  const std::vector<QObject*>& Components() const noexcept { return FComponents; }
  int ComponentCount() const noexcept { return static_cast<int>(FComponents.size()); }

  // Enters component at the end of the list; the container now owns it.
  void InsertComponent(QObject* component);
  // Takes component out of the list without destroying it.
  void RemoveComponent(QObject* component) noexcept;

 protected:
  // Destroys every component, the last created first. An owner that is also
  // a QObject calls this from its own destructor, while it is still whole.
  void DestroyComponents() noexcept;

 private:
  std::vector<QObject*> FComponents;
};

// The owner's list for an object, or nullptr when it keeps none.
TComponentContainer* ContainerOf(QObject* owner) noexcept;

// A non-visual component. The constructor enters it into its owner's list,
// so the owner's list already holds it while a derived constructor runs.
class TComponent : public QObject, public TComponentContainer {
  Q_OBJECT

 public:
  explicit TComponent(QObject* owner);
  ~TComponent() override;

  QObject* Owner() const noexcept { return FOwner; }

  // The end of loading: the layout loader calls this on every component of
  // a form once all of them are created and every stored property is set.
  virtual void Loaded() {}

 private:
  QObject* FOwner;
};

// Called with the sender when something happened (an event of a component).
using TNotifyEvent = std::function<void(QObject* Sender)>;

class TForm : public QWidget, public TComponentContainer {
  Q_OBJECT

 public:
  enum TBorderStyle { bsSizeable, bsSingle, bsNone };
  Q_ENUM(TBorderStyle)
  enum TBorderIcon { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
  Q_DECLARE_FLAGS(TBorderIcons, TBorderIcon)
  Q_FLAG(TBorderIcons)
  enum TPosition { poDesigned, poScreenCenter };
  Q_ENUM(TPosition)
  // What happens to a form once its close goes ahead.
  enum TCloseAction { caNone, caHide, caFree };
  Q_ENUM(TCloseAction)

  // The stored properties of a form, set by the layout loader in this order.
  Q_PROPERTY(QString caption READ Caption WRITE SetCaption)
  Q_PROPERTY(QSize clientSize READ ClientSize WRITE SetClientSize)
  Q_PROPERTY(TBorderStyle borderStyle READ BorderStyle WRITE SetBorderStyle)
  Q_PROPERTY(TBorderIcons borderIcons READ BorderIcons WRITE SetBorderIcons)
  Q_PROPERTY(TPosition position READ Position WRITE SetPosition)
  Q_PROPERTY(QString color READ Color WRITE SetColor)
  Q_PROPERTY(int textHeight READ TextHeight WRITE SetTextHeight)
  Q_PROPERTY(bool visibleOnCreate READ VisibleOnCreate WRITE SetVisibleOnCreate)

  using TCloseEvent = std::function<void(QObject* Sender, TCloseAction& Action)>;

  // A form with no parent is a top-level window; it registers with the
  // application, and the first form registered becomes the main form.
  explicit TForm(QWidget* parent = nullptr);
  ~TForm() override;

  QString Caption() const { return windowTitle(); }
  void SetCaption(const QString& caption) { setWindowTitle(caption); }
  QSize ClientSize() const { return size(); }
  void SetClientSize(QSize size);
  TBorderStyle BorderStyle() const noexcept { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle style);
  TBorderIcons BorderIcons() const noexcept { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const noexcept { return FPosition; }
  void SetPosition(TPosition position) noexcept { FPosition = position; }
  // "clBtnFace", "clWindow" or "#rrggbb"; the background of the client area.
  QString Color() const { return FColor; }
  void SetColor(const QString& color);
  // The height of text in the form's font when the layout was made; the
  // loader scales positions and sizes by the ratio of today's height to it.
  int TextHeight() const noexcept { return FTextHeight; }
  void SetTextHeight(int height) noexcept { FTextHeight = height; }
  // Whether the form shows itself once its layout is loaded.
  bool VisibleOnCreate() const noexcept { return FVisibleOnCreate; }
  void SetVisibleOnCreate(bool visible) noexcept { FVisibleOnCreate = visible; }

  void SetOnClose(TCloseEvent handler) { FOnClose = std::move(handler); }

  // Called by the layout loader once loading is over: fixes the size of a
  // single-border form and shows a form stored as visible.
  void EndLoading();

  void setVisible(bool visible) override;

 protected:
  // Runs the close handler under the error guard. The default action hides
  // the form; caFree destroys it once the close completes. Closing the main
  // form ends the program. An error in the handler keeps the form open.
  void closeEvent(QCloseEvent* event) override;
  // Centres the whole window, frame included, once it is first exposed.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyWindowFlags();
  void CentreOnScreen();

  TBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = TBorderIcons(biSystemMenu | biMinimize | biMaximize);
  TPosition FPosition = poDesigned;
  QString FColor;
  int FTextHeight = 0;
  bool FVisibleOnCreate = false;
  bool FPlaced = false;
  // Centred on the screen before the window manager framed the window.
  bool FCentreFrame = false;
  TCloseEvent FOnClose;
};

}  // namespace korvalen

Q_DECLARE_OPERATORS_FOR_FLAGS(korvalen::TForm::TBorderIcons)
