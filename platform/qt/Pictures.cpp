#include "platform/qt/Pictures.h"

#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
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

// Ratios come from the platform as products of doubles (1.5 * 1.0 and the
// like); a hair above a rendering's ratio still takes that rendering.
constexpr qreal RatioTolerance = 1e-3;

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

QFuture<TPictureRead> ReadPictureOnWorker(const QString& path) {
  return QtConcurrent::run([path]() noexcept {
    TPictureRead read;
    try {
      read.Picture = ReadPicture(path);
    } catch (...) {
      read.Error = std::current_exception();
    }
    return read;
  });
}

QString PictureRenderingPath(const QString& path, qreal ratio) {
  qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot <= path.lastIndexOf(QLatin1Char('/'))) {
    dot = path.size();
  }
  return path.left(dot) + QLatin1Char('@') + QString::number(ratio) + QLatin1Char('x') +
         path.mid(dot);
}

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
