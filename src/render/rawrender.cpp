#include "render/rawrender.h"

#include "charset/charset.h"
#include "render/glyphbox.h"
#include "render/engineglyph.h"

#include <QDebug>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPainter>
#include <QTransform>

#include <cmath>

namespace qm {

int byteFilledWidth(int width, int bpp)
{
    return rowBytesFor(width, bpp) * 8 / bpp;
}

int iconOffsetY(int lineHeight, int boxH)
{
    return (lineHeight - boxH) / 2;   // C++ division truncates toward zero
}

int textOffsetY(int baseLine, qreal top, qreal height)
{
    return baseLine - int(top + height);
}

namespace {

// Alpha maps normally arrive as Format_Alpha8. A monochrome map carries a colour
// table whose conversion to alpha gives a solid block, so the index is read instead.
QImage toAlpha8(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Alpha8:
    case QImage::Format_Invalid:
        return image;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
        QImage out(image.size(), QImage::Format_Alpha8);
        for (int y = 0; y < image.height(); ++y) {
            uchar *line = out.scanLine(y);
            for (int x = 0; x < image.width(); ++x)
                line[x] = image.pixelIndex(x, y) ? 255 : 0;
        }
        return out;
    }
    case QImage::Format_Grayscale8: {
        QImage coverage(image);
        coverage.reinterpretAsFormat(QImage::Format_Alpha8);
        return coverage;
    }
    default:
        return image.convertToFormat(QImage::Format_Alpha8);
    }
}

// Bounding box of the pixels with any coverage; false when there are none.
bool alphaInkBox(const QImage &alpha, QRect *box)
{
    int left = alpha.width(), right = -1, top = -1, bottom = -1;
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar *line = alpha.constScanLine(y);
        int first = 0;
        while (first < alpha.width() && !line[first])
            ++first;
        if (first == alpha.width())
            continue;
        int last = alpha.width() - 1;
        while (!line[last])
            --last;
        if (top < 0)
            top = y;
        bottom = y;
        left = qMin(left, first);
        right = qMax(right, last);
    }
    if (top < 0)
        return false;
    *box = QRect(QPoint(left, top), QPoint(right, bottom));
    return true;
}

} // namespace

RawGlyphRenderer::RawGlyphRenderer(const QString &chars, const QFont &font, const QFont &iconFont,
                                   const QString &iconText, int bpp, bool logMetrics)
    : RawGlyphRenderer(chars, ConversionFonts(font, iconFont, iconText, bpp), logMetrics)
{
}

RawGlyphRenderer::RawGlyphRenderer(const QString &chars, const ConversionFonts &fonts, bool logMetrics)
    : m_chars(chars),
      m_iconText(fonts.iconText),
      m_bpp(fonts.bpp),
      m_textFont(fonts.textRender),
      m_iconFont(fonts.iconRender),
      m_iconMetrics(m_iconFont),
      m_metrics(m_textFont),
      m_metricsF(m_textFont),
      m_iconFaces(m_iconFont),
      m_textFaces(m_textFont)
{
    m_lineHeight = m_metrics.height();
    m_iconLineHeight = m_iconMetrics.height();
    if (logMetrics) {
        qDebug("mt.height:%d", m_lineHeight);
        qDebug("mt_awe.height:%d", m_iconLineHeight);
    }
    m_baseLine = int(m_textFaces.primary().descent());
    if (logMetrics)
        qDebug("base_line:%d", m_baseLine);
}

RawGlyph RawGlyphRenderer::pick(int index) const
{
    RawGlyph g;
    g.ch = m_chars.at(index);
    g.code = g.ch.unicode();
    g.icon = !m_iconText.isEmpty() && m_iconText.contains(g.ch);
    g.font = g.icon ? &m_iconFont : &m_textFont;
    g.previewHeight = g.icon ? m_iconLineHeight : m_lineHeight;
    if (isControlCharacter(g.ch))
        return g;
    const FontFaces::Face face = (g.icon ? m_iconFaces : m_textFaces).find(g.ch);
    g.raw = face.raw;
    g.glyphIndex = face.glyph;
    g.primary = face.primary && !g.icon;
    g.laidOut = face.laidOut;
    return g;
}

int RawGlyphRenderer::stringAdvance(const RawGlyph &g) const
{
    // The object placeholder U+FFFC measures -1.
    return qMax(0, (g.icon ? m_iconMetrics : m_metrics).horizontalAdvance(QString(g.ch)));
}

void RawGlyphRenderer::measureAdvance(RawGlyph &g) const
{
    if (isControlCharacter(g.ch)) {
        g.advW = 0;
        return;
    }
    // A character the face draws without shaping is as wide as its glyph's advance,
    // which the font engine has cached; laying it out would cost far more.
    g.advW = (g.icon || g.laidOut || g.glyphIndex == 0) ? stringAdvance(g) : m_metrics.horizontalAdvance(g.ch);
}

RawGlyph RawGlyphRenderer::measure(int index) const
{
    RawGlyph g = pick(index);
    measureAdvance(g);
    return g;
}

RawGlyph RawGlyphRenderer::render(int index) const
{
    RawGlyph g = pick(index);
    // A text glyph with ink comes in one piece from the engine: at 1 bpp its monochrome
    // rendering, which is what drawing the glyph without anti-aliasing blits, cut to its ink.
    EngineGlyph e;
    if (g.raw && !g.icon && g.glyphIndex != 0 && loadEngineGlyph(*g.raw, g.glyphIndex, &e, m_bpp == 1)) {
        QRect ink(0, 0, e.width, e.height);
        if (m_bpp != 1 || alphaInkBox(e.alpha, &ink)) {
            g.alpha = ink.size() == e.alpha.size() ? e.alpha : e.alpha.copy(ink);
            g.width = ink.width();
            g.boxH = ink.height();
            g.ofsX = e.x + ink.left();
            g.ofsY = offsetY(g, e.top + ink.top(), ink.height());
            g.advW = g.laidOut ? stringAdvance(g) : e.advance;
            g.rowBytes = rowBytesFor(g.width, m_bpp);
            g.boxW = g.rowBytes * 8 / m_bpp;
            return g;
        }
    }
    draw(g);
    measureAdvance(g);
    return g;
}

int RawGlyphRenderer::offsetY(const RawGlyph &glyph, qreal top, qreal height) const
{
    return glyph.icon ? iconOffsetY(m_lineHeight, glyph.boxH) : textOffsetY(m_baseLine, top, height);
}

void RawGlyphRenderer::draw(RawGlyph &glyph) const
{
    if (!glyph.raw) {
        glyph.alpha = QImage();
        glyph.width = glyph.boxH = glyph.ofsX = glyph.ofsY = 0;
    } else if (m_bpp == 1) {
        drawMonochrome(glyph, *glyph.raw);
    } else {
        drawAntialiased(glyph, *glyph.raw);
    }
    glyph.rowBytes = rowBytesFor(glyph.width, m_bpp);
    glyph.boxW = glyph.rowBytes * 8 / m_bpp;
}

void RawGlyphRenderer::drawAntialiased(RawGlyph &glyph, const QRawFont &raw) const
{
    // The font engine's metrics cache already holds the rectangle of a glyph of the text
    // font's own face; asking the raw font would load the glyph once more.
    const QRectF rect = (glyph.primary && !glyph.laidOut && glyph.glyphIndex != 0)
        ? m_metricsF.boundingRect(glyph.ch)
        : raw.boundingRect(glyph.glyphIndex);
    // A damaged font can hold an outline far larger than its line and advances say.
    if (beyondRasteriserReach(rect)) {
        glyph.alpha = QImage();
        glyph.width = glyph.boxH = glyph.ofsX = glyph.ofsY = 0;
        return;
    }
    glyph.alpha = toAlpha8(raw.alphaMapForGlyph(glyph.glyphIndex, QRawFont::PixelAntialiasing, QTransform()));
    glyph.width = int(rect.width());
    glyph.boxH = int(rect.height());
    glyph.ofsX = int(rect.x());
    qreal height = rect.height();
    // The antialiased map and the rectangle share their top-left corner and, with the
    // usual rasteriser, their size. Should a map come back in another size, the map is
    // what gets emitted, so it sets the box; the corner keeps the ink in place.
    if (glyph.alpha.width() != glyph.width || glyph.alpha.height() != glyph.boxH) {
        glyph.width = glyph.alpha.width();
        glyph.boxH = glyph.alpha.height();
        height = glyph.boxH;
    }
    glyph.ofsY = offsetY(glyph, rect.y(), height);
}

void RawGlyphRenderer::drawMonochrome(RawGlyph &glyph, const QRawFont &raw) const
{
    // Neither the monochrome map's size nor its origin matches the bounding rectangle,
    // and the raw font does not tell where the map sits. Drawing the glyph at a known
    // pen position shows it: the drawn ink is exactly the map's ink.
    const QRectF rect = raw.boundingRect(glyph.glyphIndex);
    if (beyondRasteriserReach(rect)) {
        glyph.alpha = QImage();
        glyph.width = glyph.boxH = glyph.ofsX = glyph.ofsY = 0;
        return;
    }
    const int rectW = qMax(0, int(rect.width()));
    const int rectH = qMax(0, int(rect.height()));
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes({glyph.glyphIndex});
    run.setPositions({QPointF(0, 0)});

    QImage canvas;
    QPoint origin;
    QRect ink;
    bool inked = false;
    for (int pad = 8;; pad *= 2) {
        canvas = QImage(rectW + 2 * pad, rectH + 2 * pad, QImage::Format_Alpha8);
        canvas.fill(0);
        origin = QPoint(pad - int(std::floor(rect.x())), pad - int(std::floor(rect.y())));
        {
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setPen(Qt::black);
            painter.drawGlyphRun(origin, run);
        }
        inked = alphaInkBox(canvas, &ink);
        const bool touchesEdge = inked
            && (ink.left() == 0 || ink.top() == 0 || ink.right() == canvas.width() - 1
                || ink.bottom() == canvas.height() - 1);
        if (!touchesEdge || pad >= 512)
            break;
    }

    if (!inked) {
        glyph.alpha = QImage();
        glyph.width = 0;
        glyph.boxH = 0;
        glyph.ofsX = int(rect.x());
        glyph.ofsY = offsetY(glyph, rect.y(), rect.height());
        return;
    }
    glyph.alpha = canvas.copy(ink);
    glyph.width = ink.width();
    glyph.boxH = ink.height();
    glyph.ofsX = ink.left() - origin.x();
    glyph.ofsY = offsetY(glyph, ink.top() - origin.y(), ink.height());
}

} // namespace qm
