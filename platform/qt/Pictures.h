#pragma once

// Pictures for the controls: the readers of picture files, the renderings a
// picture may come in for high-DPI screens, reading on a worker, and the
// icons of glyph bitmaps.

#include <QFuture>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <exception>
#include <functional>
#include <optional>

namespace korvalen {

// Reads a picture file; the default reads every format Qt reads. A program
// registers its own reader for a file suffix ("jpg") when it decodes that
// format itself. A reader throws when it cannot read the file, and may run
// on any thread.
using TPictureReader = std::function<QImage(const QString& path)>;
// Reads a picture file whole and gives its size without making its pixels,
// throwing what the reader would; a reader that has one is asked for the
// pixels only when the picture is first drawn.
using TPictureChecker = std::function<QSize(const QString& path)>;
// Registered before any picture is read: the readers are not locked against
// a worker reading at the same time.
void RegisterPictureReader(const QString& suffix, TPictureReader reader,
                           TPictureChecker checker = {});
// Throws Exception "Cannot load picture <path>" when nothing can read it.
QImage ReadPicture(const QString& path);
QPixmap LoadPicture(const QString& path);
// The size of the picture, checked, when its reader has a checker.
std::optional<QSize> CheckPicture(const QString& path);

// A picture read on a worker: its pixels, or what reading it threw. The
// error comes back as a value, so nothing is thrown across threads.
struct TPictureRead {
  QImage Picture;
  std::exception_ptr Error;
};
QFuture<TPictureRead> ReadPictureOnWorker(const QString& path);

// A picture may come drawn again for high-DPI screens, beside its file as
// "name@<ratio>x.suffix" ("welcome@1.5x.jpg"), at the ratios below.
inline constexpr qreal PictureRenderingRatios[] = {1.25, 1.5, 2.0};
QString PictureRenderingPath(const QString& path, qreal ratio);
// The file to show on a screen of the given device pixel ratio: the
// rendering for that ratio, else the next larger one there is (so nothing is
// enlarged), else the largest; the picture's own file at a ratio of 1.
QString PicturePathFor(const QString& path, qreal devicePixelRatio);
// That file, marked to be drawn 1:1 in device pixels on such a screen.
QPixmap LoadPictureFor(const QString& path, qreal devicePixelRatio);

// The icon of a glyph bitmap holding count images side by side: image 0 is
// the normal mode, image 1 (if any) the disabled mode, with the colour of
// the bottom-left pixel masked out. Given the bitmap's renderings for
// high-DPI screens too, the icon draws the one that fits the screen.
QIcon GlyphIcon(const QList<QPixmap>& renderings, int count);
QIcon GlyphIcon(const QPixmap& bitmap, int count);

}  // namespace korvalen
