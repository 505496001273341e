#pragma once

// The fonts the layouts name, and what stands in for them where they are
// missing: "MS Sans Serif" becomes a plain sans face at the same pixel
// height, "Arial" its metric twin "Liberation Sans".

#include <QFont>
#include <QString>

namespace korvalen {

// Registers the stand-ins with QFont; the application object calls it once.
void InstallFontSubstitutes();

// The font of a stored layout: family and character height in pixels at 96
// dots per inch. The height follows the screen's logical resolution, so
// LayoutFont("MS Sans Serif", 11) is 11 px at 96 dpi and 14 px at 120 dpi.
QFont LayoutFont(const QString& family, int pixelHeightAt96Dpi);

// The pixel height LayoutFont gives a font of that height at 96 dpi.
int LayoutPixelSize(int pixelHeightAt96Dpi);

// The screen's logical dots per inch; 96 without a screen.
double LogicalDpi();

}  // namespace korvalen
