#include "glyphcapture.h"

#include "charset.h"
#include "fonts.h"

#include <QPainter>

namespace qm {

QFont GlyphCapturer::sizedIconFont(const QFont &iconFont, const QFont &font)
{
    return iconFontSizedLike(iconFont, font);
}

GlyphCapturer::GlyphCapturer(const QFont &font, const QFont &iconFont, const QString &iconText, int bpp)
    : m_renderFont(conversionFont(font, bpp)),
      m_metricsFont(conversionFont(font)),
      m_iconFont(conversionFont(iconFontSizedLike(iconFont, font), bpp)),
      m_iconText(iconText),
      m_metrics(m_metricsFont),
      m_iconMetrics(conversionFont(iconFontSizedLike(iconFont, font)))
{
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
    // The width of the one-character string, as text is laid out; the object
    // placeholder U+FFFC measures -1 there.
    g.width = isControlCharacter(ch) ? 0 : qMax(0, metrics.horizontalAdvance(QString(ch)));
    return g;
}

int GlyphCapturer::tallestLine(const QString &chars) const
{
    bool text = false, icon = false;
    for (const QChar ch : chars) {
        (!m_iconText.isEmpty() && m_iconText.contains(ch) ? icon : text) = true;
        if (text && icon)
            break;
    }
    return qMax(text ? lineHeight() : 0, icon ? iconLineHeight() : 0);
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

QImage GlyphCapturer::capture(const Glyph &glyph) const
{
    if (glyph.width <= 0 || glyph.height <= 0)
        return QImage();
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
    const QImage drawn = capture(glyph);
    if (drawn.isNull() || rows == glyph.height)
        return drawn;
    // The icon sits where the other kinds put it: as many blank rows below it as
    // iconOffsetY() gives, the rest above.
    const int below = glyph.icon ? (rows - glyph.height) / 2 : rows - glyph.height;
    QImage box(glyph.width, rows, QImage::Format_RGB32);
    box.fill(Qt::black);
    QPainter painter(&box);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, rows - glyph.height - below, drawn);
    painter.end();
    return box;
}

} // namespace qm
