#include "render/glyphcapture.h"

#include "charset/charset.h"
#include "render/fonts.h"

#include <QPainter>

namespace qm {

GlyphCapturer::GlyphCapturer(const QFont &font, const QFont &iconFont, const QString &iconText, int bpp,
                             bool placeGlyphs)
    : GlyphCapturer(ConversionFonts(font, iconFont, iconText, bpp), placeGlyphs)
{
}

GlyphCapturer::GlyphCapturer(const ConversionFonts &fonts, bool placeGlyphs)
    : m_renderFont(fonts.textRender),
      m_metricsFont(fonts.text),
      m_iconFont(fonts.iconRender),
      m_iconText(fonts.iconText),
      m_metrics(m_metricsFont),
      m_iconMetrics(fonts.icon),
      m_faces(m_renderFont),
      m_mono(fonts.bpp == 1)
{
    if (!placeGlyphs || !engineGlyphsBuiltIn() || !enginePaintsCoverage(m_faces.primary()))
        return;
    // The label centres the line vertically in a box as high as the line; where ascent
    // and descent are whole pixels that puts the base line exactly `ascent` rows down.
    const QFontMetrics drawn(m_renderFont);
    const QFontMetricsF exact(m_renderFont);
    if (exact.ascent() == drawn.ascent() && exact.descent() == drawn.descent()
        && drawn.height() == drawn.ascent() + drawn.descent() && lineHeight() == drawn.height())
        m_baseLine = drawn.ascent();
}

bool GlyphCapturer::place(Glyph &g) const
{
    if (m_baseLine < 0 || isControlCharacter(g.ch) || g.ch.isSurrogate())
        return false;
    // The label forces a right-to-left letter's direction; leave those to it.
    const QChar::Direction direction = g.ch.direction();
    if (direction == QChar::DirR || direction == QChar::DirAL)
        return false;
    const FontFaces::Face face = m_faces.find(g.ch);
    // A fallback face would set the line's ascent itself, and shaping may move the glyph.
    if (!face.raw || !face.primary || face.laidOut || face.glyph == 0)
        return false;
    if (!loadEngineGlyph(*face.raw, face.glyph, &g.coverage, m_mono)) {
        g.coverage = EngineGlyph();
        return false;
    }
    g.width = g.coverage.advance;
    return true;
}

GlyphCapturer::Glyph GlyphCapturer::measure(QChar ch) const
{
    Glyph g;
    g.ch = ch;
    const bool icon = !m_iconText.isEmpty() && m_iconText.contains(ch);
    const QFontMetrics &metrics = icon ? m_iconMetrics : m_metrics;
    g.icon = icon;
    g.font = icon ? &m_iconFont : &m_renderFont;
    g.height = metrics.height();
    if (!icon && place(g))
        return g;
    // The width of the one-character string, as text is laid out; the object
    // placeholder U+FFFC measures -1 there.
    g.width = isControlCharacter(ch) ? 0 : qMax(0, metrics.horizontalAdvance(QString(ch)));
    return g;
}

GlyphCapturer::Box GlyphCapturer::croppedBox(const Glyph &glyph, const CropInfo &crop, int bpp,
                                              int fontHeight)
{
    Box box;
    box.advW = glyph.width;
    box.rowBytes = rowBytesFor(glyph.width, bpp);
    box.boxW = box.rowBytes * 8 / bpp;
    box.boxH = crop.boxH;
    // The icon font has its own ascent, so its baseline says nothing about the text line;
    // centring keeps icons level with the text (C++ division truncates toward zero).
    box.ofsY = glyph.icon ? (fontHeight - crop.boxH) / 2 : crop.rowsBelow;
    return box;
}

QImage GlyphCapturer::placed(const Glyph &glyph, int rows, int below) const
{
    QImage image(glyph.width, rows, QImage::Format_RGB32);
    image.fill(0xFF000000u);
    const EngineGlyph &c = glyph.coverage;
    const int top = rows - glyph.height - below + m_baseLine + c.top;
    // The part of the glyph inside the box; the label cuts off the rest.
    const int x0 = qMax(0, -c.x), x1 = qMin(c.width, glyph.width - c.x);
    const int y0 = qMax(0, -top), y1 = qMin(c.height, rows - top);
    for (int y = y0; y < y1; ++y) {
        const uchar *from = c.alpha.constScanLine(y);
        QRgb *to = reinterpret_cast<QRgb *>(image.scanLine(top + y)) + c.x;
        for (int x = x0; x < x1; ++x)
            to[x] = 0xFF000000u | uint(from[x]) * 0x010101u;
    }
    return image;
}

QImage GlyphCapturer::capture(const Glyph &glyph) const
{
    if (glyph.width <= 0 || glyph.height <= 0)
        return QImage();
    if (!glyph.coverage.alpha.isNull())
        return placed(glyph, glyph.height, 0);
    const QFont &font = glyph.font ? *glyph.font : (glyph.icon ? m_iconFont : m_renderFont);
    QImage image(glyph.width, glyph.height, QImage::Format_RGB32);
    setConversionResolution(image);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::white);
    // The label's own flags: left aligned, vertically centred, and the text direction
    // forced to the character's (a right-to-left letter lands a pixel off otherwise).
    const QString text(glyph.ch);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter
        | (text.isRightToLeft() ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
    painter.drawText(QRect(0, 0, glyph.width, glyph.height), flags, text);
    painter.end();
    return image;
}

QImage GlyphCapturer::capture(const Glyph &glyph, int rows) const
{
    // The icon sits where the other kinds put it: as many blank rows below it as
    // iconOffsetY() gives, the rest above.
    const int below = glyph.icon ? (rows - glyph.height) / 2 : rows - glyph.height;
    if (!glyph.coverage.alpha.isNull() && glyph.width > 0 && glyph.height > 0)
        return placed(glyph, rows, below);
    const QImage drawn = capture(glyph);
    if (drawn.isNull() || rows == glyph.height)
        return drawn;
    QImage box(glyph.width, rows, QImage::Format_RGB32);
    box.fill(Qt::black);
    QPainter painter(&box);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, rows - glyph.height - below, drawn);
    painter.end();
    return box;
}

} // namespace qm
