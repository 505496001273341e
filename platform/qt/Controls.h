#pragma once

// The standard controls the layouts place on forms, each a thin Qt widget
// with the stored properties of its kind and events raised the way the
// windows expect: a list box or combo box reports a selection only when the
// user makes it, never when the program fills, clears or sets it.

#include "platform/qt/ErrorGuard.h"
#include "platform/qt/Pictures.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QListWidget>
#include <QMetaObject>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QWindow>

namespace korvalen {

// The caption of a control with its accelerator marks taken out: "&&" shows
// as "&", a single "&" is dropped. "U.S. && Metric" gives "U.S. & Metric".
QString StripAccelerators(const QString& caption);

// A static text. Transparent and sized to its text unless told otherwise;
// reports the pointer entering and leaving and clicks. The caption reaches
// the screen, and the label its size, once the label is polished
// (Polished.h).
class TLabel : public QLabel {
  Q_OBJECT
  // autoSize comes first, so that a fixed-size label keeps its stored size
  // when its caption is set.
  Q_PROPERTY(bool autoSize READ AutoSize WRITE SetAutoSize)
  Q_PROPERTY(bool transparent READ Transparent WRITE SetTransparent)
  Q_PROPERTY(QColor fontColor READ FontColor WRITE SetFontColor)
  Q_PROPERTY(QString caption READ Caption WRITE SetCaption)

 public:
  explicit TLabel(QWidget* parent);

  QString Caption() const { return FCaption; }
  void SetCaption(const QString& caption);
  QColor FontColor() const;
  void SetFontColor(const QColor& color);
  bool Transparent() const { return !autoFillBackground(); }
  void SetTransparent(bool transparent) { setAutoFillBackground(!transparent); }
  bool AutoSize() const noexcept { return FAutoSize; }
  void SetAutoSize(bool autoSize);

 Q_SIGNALS:
  void MouseEnter();
  void MouseLeave();
  void Click();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void ShowCaption();
  void FitToText();

  QString FCaption;
  bool FAutoSize = true;
};

// A picture drawn at its natural size from the top-left corner, clipped by
// the control; with autoSize the control takes the picture's size. It shows
// the rendering made for its screen's device pixel ratio, pixel for pixel,
// and changes it when the window moves to a screen of another ratio or its
// screen's ratio changes. A picture whose reader can check it is checked
// when set and decoded on a worker once the control is polished
// (Polished.h), so a window that is never polished decodes nothing; it is
// shown as soon as it is decoded, in the first paint when it is decoded by
// the time the window is exposed. A rendering that fails to read is
// reported once, and the control keeps the picture it had.
class TImage : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QString picture READ Picture WRITE WritePicture)
  Q_PROPERTY(bool autoSize READ AutoSize WRITE SetAutoSize)

 public:
  explicit TImage(QWidget* parent);

  QString Picture() const { return FPicture; }
  void SetPicture(const QString& path);
  bool AutoSize() const noexcept { return FAutoSize; }
  void SetAutoSize(bool autoSize);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // What happens to the rendering in FFile: nothing more, its decoding
  // waits for the polish, or it is being read on a worker.
  enum class TDecoding { Done, AtPolish, Running };

  void WritePicture(const QString& path) noexcept {
    RunPropertySetter([&] { SetPicture(path); });
  }
  void ShowPicture(const QPixmap& picture);
  void StartDecoding();
  void TakeDecoded() noexcept;
  void FollowScreen();
  void ScreenChanged(QScreen* screen);
  void MatchDevicePixelRatio() noexcept;

  QString FPicture;
  bool FAutoSize = false;
  // The rendering shown or to be shown, and the ratio it was chosen for.
  QString FFile;
  qreal FRatio = 1.0;
  TDecoding FDecoding = TDecoding::Done;
  // The size the check gave, in the control's pixels, until it is decoded.
  QSize FCheckedSize;
  // Not waited for when the control goes: the worker finishes on its own.
  QFutureWatcher<TPictureRead> FWorker;
  // Renderings that failed to read, each reported once and not tried again.
  QStringList FFailed;
  QPointer<QWindow> FWatchedWindow;
  QMetaObject::Connection FScreenRatio;
};

// A drop-down list (no typing). Activated (Qt's) is the user's choice only.
class TComboBox : public QComboBox {
  Q_OBJECT
  Q_PROPERTY(QStringList items READ Items WRITE SetItems)

 public:
  explicit TComboBox(QWidget* parent);

  QStringList Items() const;
  // Replaces the items and leaves none selected.
  void SetItems(const QStringList& items);
  int ItemIndex() const { return currentIndex(); }
  QString Text() const { return currentText(); }
};

// A single-selection, unsorted list. Click is raised when the user changes
// the selection with the mouse or the keyboard; filling, clearing or
// setting it from the program raises nothing and leaves no selection.
class TListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(QStringList items READ Items WRITE SetItems)

 public:
  explicit TListBox(QWidget* parent);

  QStringList Items() const;
  void SetItems(const QStringList& items);
  void AddItem(const QString& text);
  void Clear();
  // The selected row, -1 without a selection. The current row alone (the
  // focus frame) is not a selection.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The text of the selected row; empty without a selection.
  QString SelectedText() const;

 Q_SIGNALS:
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  template <typename Fn>
  void UserInput(Fn&& fn);
};

// A single-line edit; readOnly and text are Qt's own properties.
class TEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TEdit(QWidget* parent);
};

// A push button with a caption ("&Continue": Alt+C presses it). Space,
// Return and the keypad's Enter press it while it has the focus. The
// caption reaches the button once it is polished (Polished.h).
class TButton : public QPushButton {
  Q_OBJECT
  Q_PROPERTY(QString caption READ Caption WRITE SetCaption)

 public:
  explicit TButton(QWidget* parent);

  QString Caption() const { return FCaption; }
  void SetCaption(const QString& caption);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QString FCaption;
};

// A push button with a glyph: a bitmap of numGlyphs images side by side,
// the first for the normal state and the second for the disabled state.
// The colour of the bitmap's bottom-left pixel is transparent. The hint is
// the tooltip when showHint is on, and the accessible description always.
// The keys press it as they press a TButton.
class TBitBtn : public QPushButton {
  Q_OBJECT
  Q_PROPERTY(QString glyph READ Glyph WRITE WriteGlyph)
  Q_PROPERTY(int numGlyphs READ NumGlyphs WRITE SetNumGlyphs)
  Q_PROPERTY(QString hint READ Hint WRITE SetHint)
  Q_PROPERTY(bool showHint READ ShowHint WRITE SetShowHint)

 public:
  explicit TBitBtn(QWidget* parent);

  QString Glyph() const { return FGlyph; }
  void SetGlyph(const QString& path);
  int NumGlyphs() const noexcept { return FNumGlyphs; }
  void SetNumGlyphs(int count);
  QString Hint() const { return FHint; }
  void SetHint(const QString& hint);
  bool ShowHint() const noexcept { return FShowHint; }
  void SetShowHint(bool show);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void WriteGlyph(const QString& path) noexcept {
    RunPropertySetter([&] { SetGlyph(path); });
  }
  void BuildIcon();
  void ApplyHint();

  QString FGlyph;
  // The bitmap as designed first, then its renderings for high-DPI screens.
  QList<QPixmap> FGlyphRenderings;
  int FNumGlyphs = 1;
  QString FHint;
  bool FShowHint = false;
};

}  // namespace korvalen
