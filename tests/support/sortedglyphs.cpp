#include "sortedglyphs.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QRawFont>

namespace qmtest {

QFont fontForBpp(const QFont &font, int bpp)
{
    QFont f(font);
    if (bpp == 1)
        f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

QFont iconFontFor(const QFont &iconFont, const QFont &font, int bpp)
{
    QFont f = fontForBpp(iconFont, bpp);
    if (font.pixelSize() > 0)
        f.setPixelSize(font.pixelSize());
    else
        f.setPointSizeF(font.pointSizeF());
    return f;
}

QByteArray packAlphaRows(const QImage &alpha8, int bpp)
{
    QByteArray out;
    const int mask = (1 << bpp) - 1;
    for (int y = 0; y < alpha8.height(); ++y) {
        int acc = 0, bits = 0;
        for (int x = 0; x < alpha8.width(); ++x) {
            const int level = alpha8.constScanLine(y)[x] * mask / 255;
            acc |= level << (8 - bpp - bits);
            bits += bpp;
            if (bits == 8) {
                out.append(char(acc));
                acc = 0;
                bits = 0;
            }
        }
        if (bits)
            out.append(char(acc));
    }
    return out;
}

namespace {

QImage monoToAlpha(const QImage &map)
{
    QImage out(map.size(), QImage::Format_Alpha8);
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x)
            out.scanLine(y)[x] = map.pixelIndex(x, y) ? 255 : 0;
    return out;
}

QRect inkOf(const QImage &alpha8)
{
    QRect box;
    for (int y = 0; y < alpha8.height(); ++y)
        for (int x = 0; x < alpha8.width(); ++x)
            if (alpha8.constScanLine(y)[x])
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

ExpectedGlyph expectedRawGlyph(QChar ch, const QFont &font, bool icon, int bpp, int lineHeight,
                               int baseLine)
{
    ExpectedGlyph e;
    e.advW = QFontMetrics(font).horizontalAdvance(QString(ch));
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Any);
    const quint32 glyph = raw.glyphIndexesForString(QString(ch)).value(0);
    const QImage map = raw.alphaMapForGlyph(glyph, QRawFont::PixelAntialiasing, QTransform());
    const QRectF rect = raw.boundingRect(glyph);

    int width = 0;
    QImage pixels;
    if (bpp > 1) {
        width = int(rect.width());
        e.boxH = int(rect.height());
        e.ofsX = int(rect.x());
        if (map.size() != QSize(width, e.boxH)) {
            e.why = QStringLiteral("alpha map %1x%2, rectangle %3x%4")
                        .arg(map.width()).arg(map.height()).arg(width).arg(e.boxH);
            return e;
        }
        pixels = map.convertToFormat(QImage::Format_Alpha8);
        e.ofsY = icon ? (lineHeight - e.boxH) / 2 : baseLine - int(rect.y() + rect.height());
    } else {
        // Where the monochrome glyph inks, as plain text drawing puts it.
        const int pad = 2 * lineHeight + 8;
        QImage canvas(e.advW + 2 * pad, lineHeight + 2 * pad, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        const QPoint pen(pad, pad + QFontMetrics(font).ascent());
        {
            QPainter p(&canvas);
            p.setFont(font);
            p.setPen(Qt::white);
            p.drawText(pen, QString(ch));
        }
        const QImage drawn = canvas.convertToFormat(QImage::Format_Alpha8);
        const QRect ink = inkOf(drawn);
        const QImage mono = monoToAlpha(map);
        const QRect monoInk = inkOf(mono);
        if (ink.isEmpty() != monoInk.isEmpty()
            || (!ink.isEmpty() && drawn.copy(ink) != mono.copy(monoInk))) {
            e.why = QStringLiteral("drawn text and monochrome map disagree");
            return e;
        }
        if (ink.isEmpty()) {
            e.ofsX = int(rect.x());
            e.ofsY = icon ? lineHeight / 2 : baseLine - int(rect.y() + rect.height());
        } else {
            pixels = drawn.copy(ink);
            width = ink.width();
            e.boxH = ink.height();
            e.ofsX = ink.left() - pen.x();
            const int bottom = ink.bottom() + 1 - pen.y();
            e.ofsY = icon ? (lineHeight - e.boxH) / 2 : baseLine - bottom;
        }
    }
    const int rowBytes = (width * bpp + 7) / 8;
    e.boxW = rowBytes * 8 / bpp;
    e.bytes = packAlphaRows(pixels, bpp);
    e.pixels = pixels;
    if (e.bytes.size() != rowBytes * e.boxH) {
        e.why = QStringLiteral("packed %1 bytes for %2 rows of %3").arg(e.bytes.size()).arg(e.boxH).arg(rowBytes);
        return e;
    }
    e.ok = true;
    return e;
}

QString registerFontAwesome()
{
    static QString family;
    if (family.isEmpty()) {
        const int id = QFontDatabase::addApplicationFont(
            QStringLiteral("/usr/share/fonts-font-awesome/fonts/fontawesome-webfont.ttf"));
        if (id >= 0)
            family = QFontDatabase::applicationFontFamilies(id).value(0);
    }
    return family;
}

} // namespace qmtest
