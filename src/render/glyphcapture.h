#pragma once

#include "render/glyphbox.h"
#include "render/engineglyph.h"
#include "render/fonts.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QString>

namespace qm {

// Draws characters as the window's render label shows them (white ink on black,
// left aligned and vertically centred in a box as wide as the advance and as high
// as the line), into an image off screen.
//
// Drawing a character lays it out and shapes it twice (once to measure it) and loads
// its glyph twice. For the common case, a character the font's own face draws without
// shaping, the label's pixels are known beforehand: the glyph's coverage as the font
// engine caches it, its pen on the base line at the left edge, cut to the box. Such
// glyphs are read once out of the engine and placed by hand; every other character is
// drawn. A font whose line does not sit on whole pixels, or whose ink is blended with
// gamma correction, is always drawn. Not shared between threads.
class GlyphCapturer
{
public:
    struct Glyph {
        QChar ch;
        bool icon = false;    // drawn with the icon font
        int width = 0;        // advance width in the chosen metrics
        int height = 0;       // line height of the chosen metrics
        const QFont *font = nullptr;
        // The coverage of a glyph that is placed rather than drawn; null otherwise.
        EngineGlyph coverage;
    };

    // Draws `font`, and for the characters of `iconText` the icon font at the conversion
    // font's size, at 96 dpi and, at 1 bpp, both without anti-aliasing; widths come from
    // the fonts as given. `placeGlyphs` false draws every character.
    GlyphCapturer(const QFont &font, const QFont &iconFont, const QString &iconText, int bpp,
                  bool placeGlyphs = true);
    // The same with the fonts a conversion made once.
    explicit GlyphCapturer(const ConversionFonts &fonts, bool placeGlyphs = true);

    // Control characters measure 0 wide: nothing is drawn for them.
    Glyph measure(QChar ch) const;
    // A width x height RGB32 image of the glyph; null for an empty box.
    QImage capture(const Glyph &glyph) const;
    // The same glyph in a box `rows` high: a text glyph keeps its top, and so its base
    // line, with blank rows added below; an icon stays centred.
    QImage capture(const Glyph &glyph, int rows) const;

    const QFont &renderFont() const { return m_renderFont; }
    const QFont &iconFont() const { return m_iconFont; }
    const QFont &metricsFont() const { return m_metricsFont; }
    // The conversion font's line height.
    int lineHeight() const { return m_metrics.height(); }
    int iconLineHeight() const { return m_iconMetrics.height(); }

    // Where a captured glyph sits once cropped to its inked rows (the fmt_txt and XBF
    // fonts). Rows are padded to whole bytes, so the box is as wide as the padded row.
    struct Box {
        int advW = 0;
        int rowBytes = 0;
        int boxW = 0;
        int boxH = 0;
        int ofsX = 0;
        int ofsY = 0;
        int bitmapSize() const { return rowBytes * boxH; }
    };
    // `crop` comes from the cropping encoders; icons are centred in `fontHeight`
    // instead of keeping their own baseline.
    static Box croppedBox(const Glyph &glyph, const CropInfo &crop, int bpp, int fontHeight);

private:
    bool place(Glyph &glyph) const;
    QImage placed(const Glyph &glyph, int rows, int below) const;

    QFont m_renderFont;
    QFont m_metricsFont;
    QFont m_iconFont;
    QString m_iconText;
    QFontMetrics m_metrics;
    QFontMetrics m_iconMetrics;
    FontFaces m_faces;
    int m_baseLine = -1;   // of a placed glyph, from the top of the box; -1: all are drawn
    bool m_mono = false;
};

} // namespace qm
