#include "platform/qt/Controls.h"

#include "platform/qt/Polished.h"

#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QSizeF>

#include <algorithm>
#include <optional>
#include <utility>

namespace korvalen {

QString StripAccelerators(const QString& caption) {
  QString shown;
  shown.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption.at(i) == QLatin1Char('&')) {
      if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&')) {
        shown += QLatin1Char('&');
        ++i;
      }
      continue;
    }
    shown += caption.at(i);
  }
  return shown;
}

TLabel::TLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TLabel::SetCaption(const QString& caption) {
  FCaption = caption;
  if (testAttribute(Qt::WA_WState_Polished)) {
    ShowCaption();
  }
}

void TLabel::ShowCaption() {
  setText(StripAccelerators(FCaption));
  FitToText();
}

QColor TLabel::FontColor() const {
  return palette().color(QPalette::WindowText);
}

void TLabel::SetFontColor(const QColor& color) {
  QPalette changed = palette();
  changed.setColor(QPalette::WindowText, color);
  setPalette(changed);
}

void TLabel::SetAutoSize(bool autoSize) {
  FAutoSize = autoSize;
  FitToText();
}

void TLabel::FitToText() {
  // A word-wrapped label keeps its width and is laid out at it; a sized
  // label keeps both. An unpolished label fits itself when polished.
  if (FAutoSize && !wordWrap() && testAttribute(Qt::WA_WState_Polished)) {
    resize(sizeHint());
  }
}

void TLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  Q_EMIT MouseEnter();
}

void TLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  Q_EMIT MouseLeave();
}

void TLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    Q_EMIT Click();
  }
}

void TLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  // A layout writes the font before autoSize, wordWrap and the caption; a
  // label without its caption yet keeps the size it was given.
  if (event->type() == QEvent::FontChange && !FCaption.isEmpty()) {
    FitToText();
  }
}

bool TLabel::event(QEvent* event) {
  const bool handled = QLabel::event(event);
  // After Qt's own polish, so the caption is measured in the final font.
  if (event->type() == QEvent::Polish && !FCaption.isEmpty()) {
    ShowCaption();
  }
  return handled;
}

TImage::TImage(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  connect(&FWorker, &QFutureWatcher<TPictureRead>::finished, this, &TImage::TakeDecoded);
}

void TImage::SetPicture(const QString& path) {
  const qreal ratio = devicePixelRatioF();
  QString file = PicturePathFor(path, ratio);
  if (const std::optional<QSize> checked = CheckPicture(file)) {
    FPicture = path;
    FRatio = ratio;
    FFile = std::move(file);
    FCheckedSize = (QSizeF(*checked) / ratio).toSize();
    FDecoding = TDecoding::AtPolish;
    setPixmap(QPixmap());
    if (FAutoSize) {
      resize(FCheckedSize);
    }
    if (testAttribute(Qt::WA_WState_Polished)) {
      StartDecoding();
    }
    return;
  }
  const QPixmap picture = LoadPictureFor(path, ratio);
  FPicture = path;
  FRatio = ratio;
  FFile = std::move(file);
  FDecoding = TDecoding::Done;
  ShowPicture(picture);
}

void TImage::SetAutoSize(bool autoSize) {
  FAutoSize = autoSize;
  if (FAutoSize && FDecoding != TDecoding::Done && pixmap().isNull()) {
    resize(FCheckedSize);
  } else if (FAutoSize && !pixmap().isNull()) {
    resize(pixmap().deviceIndependentSize().toSize());
  }
}

void TImage::ShowPicture(const QPixmap& picture) {
  setPixmap(picture);
  if (FAutoSize) {
    resize(picture.deviceIndependentSize().toSize());
  }
}

void TImage::StartDecoding() {
  // A decoding of an earlier file still running is left to finish unseen.
  FDecoding = TDecoding::Running;
  FWorker.setFuture(ReadPictureOnWorker(FFile));
}

void TImage::TakeDecoded() noexcept {
  if (FDecoding != TDecoding::Running || !FWorker.isFinished()) {
    return;
  }
  FDecoding = TDecoding::Done;
  RunGuarded([&] {
    const TPictureRead read = FWorker.result();
    if (read.Error) {
      // The picture passed its check, or an earlier rendering of it loaded;
      // what fails now is reported once, and what is shown stays.
      FFailed << FFile;
      ReportError(ExceptionMessage(read.Error));
      return;
    }
    QPixmap picture = QPixmap::fromImage(read.Picture);
    picture.setDevicePixelRatio(FRatio);
    ShowPicture(picture);
  });
}

void TImage::FollowScreen() {
  QWindow* handle = window()->windowHandle();
  if (handle == nullptr || handle == FWatchedWindow) {
    return;
  }
  FWatchedWindow = handle;
  connect(handle, &QWindow::screenChanged, this, &TImage::ScreenChanged);
  ScreenChanged(handle->screen());
}

void TImage::ScreenChanged(QScreen* screen) {
  // Qt has no signal of its own for a change of a screen's device pixel
  // ratio; a change of its density comes with one where the platform tells.
  disconnect(FScreenRatio);
  if (screen != nullptr) {
    FScreenRatio =
        connect(screen, &QScreen::physicalDotsPerInchChanged, this, &TImage::MatchDevicePixelRatio);
  }
  MatchDevicePixelRatio();
}

void TImage::MatchDevicePixelRatio() noexcept {
  const qreal ratio = devicePixelRatioF();
  if (FPicture.isEmpty() || qFuzzyCompare(ratio, FRatio)) {
    return;
  }
  RunGuarded([&] {
    FRatio = ratio;
    QString file = PicturePathFor(FPicture, ratio);
    if (file == FFile || FFailed.contains(file)) {
      return;
    }
    FFile = std::move(file);
    // The picture shown so far stays until the new rendering is read.
    if (FDecoding != TDecoding::AtPolish) {
      StartDecoding();
    }
  });
}

bool TImage::event(QEvent* event) {
  if (event->type() == QEvent::Polish && FDecoding == TDecoding::AtPolish) {
    RunGuarded([&] { StartDecoding(); });
  }
  if (event->type() == QEvent::Show) {
    RunGuarded([&] { FollowScreen(); });
    // A picture decoded before the window is exposed is shown in its first
    // paint; taking it in the paint itself would ask for a second one.
    if (FDecoding != TDecoding::Done && FWatchedWindow != nullptr) {
      FWatchedWindow->installEventFilter(this);
    }
  }
  return QLabel::event(event);
}

bool TImage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && watched == FWatchedWindow) {
    watched->removeEventFilter(this);
    TakeDecoded();
  }
  return QLabel::eventFilter(watched, event);
}

void TImage::paintEvent(QPaintEvent* event) {
  // A screen's ratio can change without the window changing screens and
  // without the platform saying so; painting is the last moment to notice.
  MatchDevicePixelRatio();
  QLabel::paintEvent(event);
}

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
}

QStringList TComboBox::Items() const {
  QStringList items;
  for (int i = 0; i < count(); ++i) {
    items << itemText(i);
  }
  return items;
}

void TComboBox::SetItems(const QStringList& items) {
  clear();
  addItems(items);
  setCurrentIndex(-1);
}

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setUniformItemSizes(true);
}

QStringList TListBox::Items() const {
  QStringList items;
  for (int i = 0; i < count(); ++i) {
    items << item(i)->text();
  }
  return items;
}

void TListBox::SetItems(const QStringList& items) {
  Clear();
  addItems(items);
}

void TListBox::AddItem(const QString& text) {
  addItem(text);
}

void TListBox::Clear() {
  clear();
}

int TListBox::ItemIndex() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void TListBox::SetItemIndex(int index) {
  if (index < 0 || index >= count()) {
    clearSelection();
    return;
  }
  setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

QString TListBox::SelectedText() const {
  const int index = ItemIndex();
  return index < 0 ? QString() : item(index)->text();
}

template <typename Fn>
void TListBox::UserInput(Fn&& fn) {
  const int before = ItemIndex();
  std::forward<Fn>(fn)();
  if (ItemIndex() != before) {
    Q_EMIT Click();
  }
}

void TListBox::mousePressEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mousePressEvent(event); });
}

void TListBox::mouseMoveEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mouseMoveEvent(event); });
}

void TListBox::mouseReleaseEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mouseReleaseEvent(event); });
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  // Tabbing in puts the focus frame on the first row without selecting it;
  // the first arrow key then selects that row rather than skip past it.
  const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
  if (arrow && event->modifiers() == Qt::NoModifier && ItemIndex() < 0 && currentRow() >= 0) {
    UserInput([&] { SetItemIndex(currentRow()); });
    return;
  }
  UserInput([&] { QListWidget::keyPressEvent(event); });
}

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {}

namespace {

// Qt presses a button on Enter only inside a dialog; on the desktops the
// program runs on, and on the one its windows were made for, Enter presses
// whichever push button has the focus. Returns whether the key was Enter.
bool PressOnEnter(QPushButton& button, QKeyEvent& event) {
  const bool enter = (event.key() == Qt::Key_Return && event.modifiers() == Qt::NoModifier) ||
                     (event.key() == Qt::Key_Enter && event.modifiers() == Qt::KeypadModifier);
  if (!enter) {
    return false;
  }
  // A held key presses once, as Space does.
  if (!event.isAutoRepeat()) {
    button.click();
  }
  event.accept();
  return true;
}

}  // namespace

TButton::TButton(QWidget* parent) : QPushButton(parent) {}

void TButton::SetCaption(const QString& caption) {
  FCaption = caption;
  if (testAttribute(Qt::WA_WState_Polished)) {
    setText(FCaption);
  }
}

bool TButton::event(QEvent* event) {
  const bool handled = QPushButton::event(event);
  if (event->type() == QEvent::Polish && !FCaption.isEmpty()) {
    setText(FCaption);
  }
  return handled;
}

void TButton::keyPressEvent(QKeyEvent* event) {
  if (!PressOnEnter(*this, *event)) {
    QPushButton::keyPressEvent(event);
  }
}

void TBitBtn::keyPressEvent(QKeyEvent* event) {
  if (!PressOnEnter(*this, *event)) {
    QPushButton::keyPressEvent(event);
  }
}

TBitBtn::TBitBtn(QWidget* parent) : QPushButton(parent) {
  setIconSize(QSize(16, 16));
}

void TBitBtn::SetGlyph(const QString& path) {
  QList<QPixmap> renderings{LoadPicture(path)};
  for (const qreal ratio : PictureRenderingRatios) {
    const QString rendering = PictureRenderingPath(path, ratio);
    if (QFile::exists(rendering)) {
      renderings << LoadPicture(rendering);
    }
  }
  FGlyphRenderings = std::move(renderings);
  FGlyph = path;
  BuildIcon();
}

void TBitBtn::SetNumGlyphs(int count) {
  FNumGlyphs = std::max(1, count);
  BuildIcon();
}

void TBitBtn::BuildIcon() {
  if (FGlyphRenderings.isEmpty()) {
    return;
  }
  const QPixmap& designed = FGlyphRenderings.first();
  setIcon(GlyphIcon(FGlyphRenderings, FNumGlyphs));
  setIconSize(QSize(designed.width() / FNumGlyphs, designed.height()));
}

void TBitBtn::SetHint(const QString& hint) {
  FHint = hint;
  ApplyHint();
}

void TBitBtn::SetShowHint(bool show) {
  FShowHint = show;
  ApplyHint();
}

void TBitBtn::ApplyHint() {
  setToolTip(FShowHint ? FHint : QString());
  WhenPolished(*this, [this] { setAccessibleDescription(FHint); });
}

}  // namespace korvalen
