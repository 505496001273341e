#include "platform/qt/Controls.h"

#include "platform/qt/Polished.h"

#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QSizeF>
#include <QWindow>

#include <algorithm>
#include <future>
#include <utility>

namespace korvalen {
namespace {

struct TPictureFormat {
  TPictureReader Reader;
  TPictureChecker Checker;
};

QHash<QString, TPictureFormat>& PictureFormats() {
  static QHash<QString, TPictureFormat> formats;
  return formats;
}

const TPictureFormat* FormatOf(const QString& path) {
  const auto format = PictureFormats().constFind(QFileInfo(path).suffix().toLower());
  return format != PictureFormats().constEnd() ? &*format : nullptr;
}

}  // namespace

void RegisterPictureReader(const QString& suffix, TPictureReader reader, TPictureChecker checker) {
  PictureFormats()[suffix.toLower()] = {std::move(reader), std::move(checker)};
}

std::optional<QSize> CheckPicture(const QString& path) {
  const TPictureFormat* format = FormatOf(path);
  if (format == nullptr || !format->Checker) {
    return std::nullopt;
  }
  return format->Checker(path);
}

QImage ReadPicture(const QString& path) {
  if (const TPictureFormat* format = FormatOf(path)) {
    return format->Reader(path);
  }
  QImage picture(path);
  if (picture.isNull()) {
    throw Exception(Format(res::SCannotLoadPicture, {path.toStdString()}));
  }
  return picture;
}

QPixmap LoadPicture(const QString& path) {
  return QPixmap::fromImage(ReadPicture(path));
}

QString PictureRenderingPath(const QString& path, qreal ratio) {
  qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot <= path.lastIndexOf(QLatin1Char('/'))) {
    dot = path.size();
  }
  return path.left(dot) + QLatin1Char('@') + QString::number(ratio) + QLatin1Char('x') +
         path.mid(dot);
}

namespace {

// Ratios come from the platform as products of doubles (1.5 * 1.0 and the
// like); a hair above a rendering's ratio still takes that rendering.
constexpr qreal RatioTolerance = 1e-3;

}  // namespace

QString PicturePathFor(const QString& path, qreal devicePixelRatio) {
  if (devicePixelRatio <= 1.0 + RatioTolerance) {
    return path;
  }
  QString largest = path;
  for (const qreal ratio : PictureRenderingRatios) {
    QString rendering = PictureRenderingPath(path, ratio);
    if (!QFile::exists(rendering)) {
      continue;
    }
    if (ratio >= devicePixelRatio - RatioTolerance) {
      return rendering;
    }
    largest = rendering;
  }
  return largest;
}

QPixmap LoadPictureFor(const QString& path, qreal devicePixelRatio) {
  QPixmap picture = LoadPicture(PicturePathFor(path, devicePixelRatio));
  picture.setDevicePixelRatio(devicePixelRatio);
  return picture;
}

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
}

void TImage::SetPicture(const QString& path) {
  const qreal ratio = devicePixelRatioF();
  FDecoding = {};
  QString file = PicturePathFor(path, ratio);
  if (const std::optional<QSize> checked = CheckPicture(file)) {
    FPicture = path;
    FRatio = ratio;
    FPending = true;
    FPendingFile = std::move(file);
    FPendingSize = (QSizeF(*checked) / ratio).toSize();
    setPixmap(QPixmap());
    if (FAutoSize) {
      resize(FPendingSize);
    }
    return;
  }
  const QPixmap picture = LoadPictureFor(path, ratio);
  FPicture = path;
  FRatio = ratio;
  FPending = false;
  ShowPicture(picture);
}

void TImage::SetAutoSize(bool autoSize) {
  FAutoSize = autoSize;
  if (FAutoSize && FPending) {
    resize(FPendingSize);
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

void TImage::ShowPendingPicture() {
  if (!FPending) {
    return;
  }
  FPending = false;
  std::future<QImage> decoding = std::move(FDecoding);
  // The picture passed its check; what fails now (memory) is reported, and
  // the control stays empty.
  RunGuarded([&] {
    QPixmap picture =
        QPixmap::fromImage(decoding.valid() ? decoding.get() : ReadPicture(FPendingFile));
    picture.setDevicePixelRatio(FRatio);
    ShowPicture(picture);
  });
}

void TImage::MatchDevicePixelRatio() {
  const qreal ratio = devicePixelRatioF();
  if (FPicture.isEmpty() || qFuzzyCompare(ratio, FRatio)) {
    return;
  }
  FRatio = ratio;
  FPending = false;
  FDecoding = {};
  ShowPicture(LoadPictureFor(FPicture, ratio));
}

bool TImage::event(QEvent* event) {
  if (event->type() == QEvent::ScreenChangeInternal) {
    MatchDevicePixelRatio();
  }
  // Decoded on a worker from the polish, while the rest of the window gets
  // ready to show, and taken as the window is exposed, before its first
  // paint: taking it in the paint itself would ask for a second one.
  if (event->type() == QEvent::Polish && FPending && !FDecoding.valid()) {
    FDecoding = std::async(std::launch::async, [file = FPendingFile] { return ReadPicture(file); });
  }
  if (event->type() == QEvent::Show && FPending && window()->windowHandle() != nullptr) {
    window()->windowHandle()->installEventFilter(this);
  }
  return QLabel::event(event);
}

bool TImage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && watched == window()->windowHandle()) {
    watched->removeEventFilter(this);
    ShowPendingPicture();
  }
  return QLabel::eventFilter(watched, event);
}

void TImage::paintEvent(QPaintEvent* event) {
  // A screen's ratio can change without the window changing screens (a
  // Wayland output's scale); painting is the last moment to notice. A
  // picture painted before its window was exposed (a grab) is decoded here.
  MatchDevicePixelRatio();
  ShowPendingPicture();
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

QIcon GlyphIcon(const QList<QPixmap>& renderings, int count) {
  // The icon picks among the renderings by their pixel sizes.
  QIcon icon;
  for (const QPixmap& bitmap : renderings) {
    QImage image = bitmap.toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1.0);
    const QRgb transparent = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == transparent) {
          image.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
      }
    }
    const int width = image.width() / std::max(1, count);
    icon.addPixmap(QPixmap::fromImage(image.copy(0, 0, width, image.height())), QIcon::Normal);
    if (count > 1) {
      icon.addPixmap(QPixmap::fromImage(image.copy(width, 0, width, image.height())),
                     QIcon::Disabled);
    }
  }
  return icon;
}

QIcon GlyphIcon(const QPixmap& bitmap, int count) {
  return GlyphIcon(QList<QPixmap>{bitmap}, count);
}

}  // namespace korvalen
