#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace qm {

// The family the options name by default; it is a Windows font.
QString defaultFontFamily();
// The CJK families that stand in for the default family where it is missing, best first.
QStringList cjkFallbackFamilies();
// Registers the stand-ins as substitutes of the default family, so that both drawn
// text and raw-font glyphs of a default conversion come from a face with Chinese glyphs.
// Call once after the application object exists.
void installFontSubstitutions();

// Conversions draw at a fixed 96 dpi whatever the screen says, so that one set of options
// gives the same bytes everywhere: the pixel size a conversion draws `font` at (its pixel
// size when it is sized in pixels, else its point size at 96 dpi; 12 pt is 16 px).
qreal conversionPixelSize(const QFont &font);

} // namespace qm
