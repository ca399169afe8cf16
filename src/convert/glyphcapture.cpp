#include "glyphcapture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace qm {

namespace {

// Fonts given in points are resolved against the paint device's resolution; the image
// must report the screen's, as the label's backing store does, or the glyphs would be
// drawn at another pixel size than the metrics measure.
int dotsPerMeter(qreal dpi)
{
    return qRound(dpi / 0.0254);
}

qreal screenDpiX()
{
    if (QScreen *s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchX();
    return 96.0;
}

qreal screenDpiY()
{
    if (QScreen *s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchY();
    return 96.0;
}

QFont renderFontFor(const QFont &font, int bpp)
{
    QFont f(font);
    if (bpp == 1)
        f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

} // namespace

QFont GlyphCapturer::sizedIconFont(const QFont &iconFont, const QFont &font)
{
    QFont f(iconFont);
    if (font.pointSizeF() > 0)
        f.setPointSizeF(font.pointSizeF());
    else if (font.pixelSize() > 0)
        f.setPixelSize(font.pixelSize());
    return f;
}

GlyphCapturer::GlyphCapturer(const QFont &font, const QFont &iconFont, const QString &iconText, int bpp)
    : m_renderFont(renderFontFor(font, bpp)),
      m_metricsFont(font),
      m_iconFont(sizedIconFont(iconFont, font)),
      m_iconText(iconText),
      m_metrics(m_metricsFont),
      m_iconMetrics(m_iconFont),
      m_dotsPerMeterX(dotsPerMeter(screenDpiX())),
      m_dotsPerMeterY(dotsPerMeter(screenDpiY()))
{
}

GlyphCapturer::Glyph GlyphCapturer::measure(QChar ch) const
{
    Glyph g;
    g.ch = ch;
    const QString s(ch);
    if (!m_iconText.isEmpty() && m_iconText.contains(ch)) {
        g.icon = true;
        g.font = &m_iconFont;
        g.width = m_iconMetrics.horizontalAdvance(s);
        g.height = m_iconMetrics.height();
    } else {
        g.font = &m_renderFont;
        g.width = m_metrics.horizontalAdvance(s);
        g.height = m_metrics.height();
    }
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

QImage GlyphCapturer::capture(const Glyph &glyph) const
{
    if (glyph.width <= 0 || glyph.height <= 0)
        return QImage();
    const QFont &font = glyph.font ? *glyph.font : (glyph.icon ? m_iconFont : m_renderFont);
    QImage image(glyph.width, glyph.height, QImage::Format_RGB32);
    image.setDotsPerMeterX(m_dotsPerMeterX);
    image.setDotsPerMeterY(m_dotsPerMeterY);
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

} // namespace qm
