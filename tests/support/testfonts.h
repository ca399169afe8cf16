#pragma once

#include <QFont>
#include <QString>

namespace qmtest {

// `family` at `px` pixels, the size the tests measure glyphs in.
inline QFont pixelFont(const QString &family, int px)
{
    QFont f(family);
    f.setPixelSize(px);
    return f;
}

// Which of the font families the tests draw with are not installed, each with the
// Debian package that provides it (all come from packages scripts/setup.sh installs);
// empty when every one is there.
QString missingTestFonts();

// Registers a copy of DejaVu Sans (fonts-dejavu-core), written into `folder`, whose
// vertical metrics (hhea, OS/2) say `ascender` and `descender` font units, under a family
// name of its own, which it returns; empty when the copy could not be made.
QString registerFontWithVerticalMetrics(const QString &folder, int ascender, int descender);
// The same with `unitsPerEm` in the head table: DejaVu Sans has 2048, so 16 draws every
// glyph 128 times too large.
QString registerFontWithUnitsPerEm(const QString &folder, int unitsPerEm);
// A copy of DejaVu Sans with 16 units per em whose header tables also declare a line
// of 20 units and no advance past 16: its glyphs reach a hundred times further than
// the line and the widest advance it declares.
QString registerFontOutgrowingItsMetrics(const QString &folder);
// A copy of DejaVu Sans whose glyph of `badOutline` has a header no reader accepts (more
// contours than the glyph has bytes) and whose glyph of `badLocation` starts, by the
// location table, past the end of the glyph table; every other glyph is intact.
QString registerFontWithDamagedGlyphs(const QString &folder, QChar badOutline, QChar badLocation);

} // namespace qmtest
