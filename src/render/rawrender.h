#pragma once

#include "render/fonts.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QRawFont>
#include <QString>
#include <QVector>

namespace qm {

// Glyph-box arithmetic, kept apart so that each rule can be checked on its own.

// A row of `width` pixels widened to whole bytes: a multiple of 8 pixels at 1 bpp,
// of 4 at 2, of 2 at 4, the width itself at 8.
int byteFilledWidth(int width, int bpp);
// Icons are centred in the text line whatever their own font's metrics; the
// division truncates toward zero, so a box taller than the line gets a negative offset.
int iconOffsetY(int lineHeight, int boxH);
// Height of a text glyph's bottom edge above the bottom of the line (the descent
// line). `top` is the box's top measured downward from the baseline; the sum is
// truncated once, toward zero.
int textOffsetY(int baseLine, qreal top, qreal height);

// One character as the raw-font path renders it.
struct RawGlyph {
    QChar ch;
    ushort code = 0;
    bool icon = false;             // drawn with the icon font
    const QFont *font = nullptr;   // the font it is drawn with (for the preview)
    // The face and glyph the toolkit draws the character with (the chosen font's, or a
    // fallback's where that lacks it); no face for a character that draws nothing.
    const QRawFont *raw = nullptr;
    quint32 glyphIndex = 0;
    bool primary = false;          // the text font's own common face
    bool laidOut = false;          // glyph and width come from laying the character out
    int advW = 0;                  // width of the one-character string in whole pixels
    int previewHeight = 0;         // the chosen font's line height

    // Filled by RawGlyphRenderer::draw().
    int width = 0;                 // inked columns of a row (w); boxW widens it to whole bytes
    int boxW = 0;
    int boxH = 0;
    int ofsX = 0;
    int ofsY = 0;
    int rowBytes = 0;
    // width x boxH, Format_Alpha8: exactly the pixels the bitmap rows are packed from,
    // so the emitted box and the emitted bytes always agree.
    QImage alpha;
};

// Renders characters through the fonts' raw glyph data, each from the face the
// toolkit's text drawing takes it from (FontFaces). The box of an antialiased glyph is
// the face's bounding rectangle and its pixels the alpha map. At 1 bpp the rasteriser's
// monochrome glyphs are narrower and placed differently from that rectangle, so there
// the box is where the monochrome glyph really inks. Control characters get an empty
// glyph with no advance.
class RawGlyphRenderer
{
public:
    // `chars` is the character set. The fonts are drawn at 96 dpi, the icon font at the
    // conversion font's size. `logMetrics` writes the line heights and base line to the
    // debug log.
    RawGlyphRenderer(const QString &chars, const QFont &font, const QFont &iconFont,
                     const QString &iconText, int bpp, bool logMetrics = true);
    // The same with the fonts a conversion made once.
    RawGlyphRenderer(const QString &chars, const ConversionFonts &fonts, bool logMetrics = true);

    const QFont &textFont() const { return m_textFont; }
    const QFont &iconFont() const { return m_iconFont; }
    int lineHeight() const { return m_lineHeight; }
    int iconLineHeight() const { return m_iconLineHeight; }
    int baseLine() const { return m_baseLine; }

    // Picks the font, the face and the advance of character `index` of the set.
    RawGlyph measure(int index) const;
    // Computes the glyph box and the pixels of a measured glyph.
    void draw(RawGlyph &glyph) const;
    // measure() and draw() together, as a conversion needs them. A text glyph is read
    // whole out of the font engine's cache where that can be done (one glyph load
    // instead of two, and no drawing at 1 bpp); the numbers and pixels are the same
    // either way.
    RawGlyph render(int index) const;

private:
    RawGlyph pick(int index) const;
    void measureAdvance(RawGlyph &glyph) const;
    int stringAdvance(const RawGlyph &glyph) const;
    void drawAntialiased(RawGlyph &glyph, const QRawFont &raw) const;
    void drawMonochrome(RawGlyph &glyph, const QRawFont &raw) const;
    int offsetY(const RawGlyph &glyph, qreal top, qreal height) const;

    QString m_chars;
    QString m_iconText;
    int m_bpp;
    QFont m_textFont;
    QFont m_iconFont;
    QFontMetrics m_iconMetrics;
    QFontMetrics m_metrics;
    QFontMetricsF m_metricsF;
    FontFaces m_iconFaces;
    FontFaces m_textFaces;
    int m_lineHeight = 0;
    int m_iconLineHeight = 0;
    int m_baseLine = 0;
};

} // namespace qm
