#include "platform/qt/Fonts.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace korvalen {

void InstallFontSubstitutes() {
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(QStringLiteral("Arial"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
}

double LogicalDpi() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
}

int LayoutPixelSize(int pixelHeightAt96Dpi) {
  return std::max(1, static_cast<int>(std::lround(pixelHeightAt96Dpi * LogicalDpi() / 96.0)));
}

QFont LayoutFont(const QString& family, int pixelHeightAt96Dpi) {
  QFont font(family);
  font.setPixelSize(LayoutPixelSize(pixelHeightAt96Dpi));
  // The layouts were drawn with crisp bitmap faces; keep hinting full so the
  // stand-ins come out as sharp at these small sizes.
  font.setHintingPreference(QFont::PreferFullHinting);
  // Their texts are Latin-1, which every stand-in covers; merging in other
  // faces would only have fontconfig sort every installed font for each
  // family, on the way to the first window.
  font.setStyleStrategy(QFont::NoFontMerging);
  return font;
}

}  // namespace korvalen
