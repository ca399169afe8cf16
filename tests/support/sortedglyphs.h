#pragma once

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QString>

namespace qmtest {

// What a raw-font glyph should look like in the emitted font, worked out from the
// toolkit directly rather than through the engine's renderer.
struct ExpectedGlyph {
    bool ok = false;      // false: the references disagree; see `why`
    QString why;
    int advW = 0;
    int boxW = 0;
    int boxH = 0;
    int ofsX = 0;
    int ofsY = 0;
    QByteArray bytes;     // boxH rows of ceil(boxW * bpp / 8) bytes
    QImage pixels;        // the coverage the bytes are packed from (Format_Alpha8)
};

// The conversion font as the raw-font path uses it: no antialiasing at 1 bpp.
QFont fontForBpp(const QFont &font, int bpp);
// The icon font at the conversion font's size, with the same strategy rule.
QFont iconFontFor(const QFont &iconFont, const QFont &font, int bpp);

// `font` is the chosen font (already through fontForBpp / iconFontFor); lineHeight and
// baseLine are the text font's. Antialiased depths come from the alpha map and the
// bounding rectangle; 1 bpp from text drawn with QPainter, checked against the
// monochrome alpha map.
ExpectedGlyph expectedRawGlyph(QChar ch, const QFont &font, bool icon, int bpp,
                               int lineHeight, int baseLine);

// Packs Format_Alpha8 rows MSB-first, each row padded to whole bytes.
QByteArray packAlphaRows(const QImage &alpha8, int bpp);

// Registers the FontAwesome web font shipped by the system; returns its family or "".
QString registerFontAwesome();

} // namespace qmtest
