#include "preview/preview.h"

#include "charset/charset.h"

#include <QPainter>
#include <QPolygon>

#include <cstring>

namespace qm {

namespace {

constexpr int kMaxLetters = 1000;   // longer samples are cut: the picture must stay drawable
constexpr int kMaxBox = 4096;       // a glyph box beyond this is a broken output, not a glyph
constexpr int kMargin = 4;          // blank pixels around the text
constexpr int kMaxSide = 16384;
// 64 megapixels: a quarter of a gigabyte in colour, whatever the size and the sample.
constexpr qint64 kPixelBudget = qint64(64) << 20;
constexpr int kSampleLength = 16;

struct DrawOp {
    uint letter = 0;
    PreviewGlyph glyph;
    bool placeholder = false;
    int x = 0;   // top-left corner, from the first line's top-left corner
    int y = 0;
    int w = 0;
    int h = 0;
};

inline void blend(uchar *dst, uint opa)
{
    *dst = uchar(opa + (uint(*dst) * (255 - opa) + 127) / 255);
}

// LVGL's letter drawing: each level maps to an opacity (0..255 spread evenly), read
// from one bit stream whose rows are rowBits apart.
bool drawGlyph(QImage &canvas, QPoint at, const PreviewGlyph &g, const QByteArray &bytes)
{
    const uchar *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    const uint mask = (1u << g.bpp) - 1;
    bool inside = true;
    for (int row = 0; row < g.boxH; ++row) {
        uchar *line = canvas.scanLine(at.y() + row) + at.x();
        const qint64 rowStart = g.bitmap * 8 + row * g.rowBits;
        for (int col = 0; col < g.boxW; ++col) {
            const qint64 bit = rowStart + qint64(col) * g.bpp;
            const qint64 byte = bit >> 3;
            if (byte < 0 || byte >= size) {
                inside = false;
                continue;
            }
            const uint level = (uint(data[byte]) >> (8 - int(bit & 7) - g.bpp)) & mask;
            if (level)
                blend(line + col, level * 255 / mask);
        }
    }
    return inside;
}

// LV_USE_FONT_PLACEHOLDER's box: a one-pixel border in the text colour.
void drawBox(QImage &canvas, QPoint at, int w, int h)
{
    for (int x = 0; x < w; ++x) {
        canvas.scanLine(at.y())[at.x() + x] = 255;
        canvas.scanLine(at.y() + h - 1)[at.x() + x] = 255;
    }
    for (int y = 0; y < h; ++y) {
        canvas.scanLine(at.y() + y)[at.x()] = 255;
        canvas.scanLine(at.y() + y)[at.x() + w - 1] = 255;
    }
}

} // namespace

PreviewDrawing drawPreview(PreviewFont &font, const QString &sample, bool placeholders)
{
    PreviewDrawing d;
    font.restart();
    d.lineHeight = font.lineHeight();
    d.baseLine = font.baseLine();
    const int lineHeight = qBound(0, d.lineHeight, kMaxBox);

    QVector<uint> letters = sample.toUcs4();
    if (letters.size() > kMaxLetters) {
        letters.resize(kMaxLetters);
        d.notes << QStringLiteral("only the first %1 characters are drawn").arg(kMaxLetters);
    }

    // The picture's extent so far, from the first line's top-left corner. A letter that
    // would take it past the pixel budget, or make the glyphs drawn cost more than it,
    // ends the sample there.
    struct Extent {
        qint64 left = 0, top = 0, right = 0, bottom = 0;
        qint64 inked = 0;
        bool fits() const
        {
            const qint64 w = right - left + 2 * kMargin, h = bottom - top + 2 * kMargin;
            return w <= kMaxSide && h <= kMaxSide && w * h <= kPixelBudget && inked <= kPixelBudget;
        }
    };
    Extent extent;
    extent.bottom = lineHeight;
    const auto cut = [&](int drawn) {
        d.notes << QStringLiteral("only the first %1 characters are drawn: the picture would exceed "
                                  "%2 pixels a side or %3 megapixels")
                       .arg(drawn)
                       .arg(kMaxSide)
                       .arg(kPixelBudget >> 20);
    };

    std::vector<DrawOp> ops;
    int line = 0, pen = 0;
    for (int i = 0; i < letters.size(); ++i) {
        const uint c = letters.at(i);
        Extent next = extent;
        if (c == '\r' || c == '\n') {
            next.bottom = qMax(next.bottom, qint64(line + 2) * lineHeight);
            if (!next.fits()) {
                cut(i);
                break;
            }
            extent = next;
            if (c == '\r' && i + 1 < letters.size() && letters.at(i + 1) == '\n')
                ++i;
            ++line;
            pen = 0;
            continue;
        }
        const int top = line * lineHeight;
        PreviewGlyph g;
        DrawOp op;
        bool draw = false;
        bool missing = false;
        int advance = 0;
        if (font.lookup(c, &g)) {
            const bool validBpp = g.bpp == 1 || g.bpp == 2 || g.bpp == 4 || g.bpp == 8;
            if (g.boxW > kMaxBox || g.boxH > kMaxBox || qAbs(g.ofsX) > kMaxBox || qAbs(g.ofsY) > kMaxBox) {
                const QString note = QStringLiteral("%1: the glyph box is too large to draw").arg(codePointName(c));
                if (!d.notes.contains(note))
                    d.notes << note;
            } else if (validBpp && g.boxW > 0 && g.boxH > 0 && g.bitmap >= 0) {
                op.letter = c;
                op.glyph = g;
                op.w = g.boxW;
                op.h = g.boxH;
                op.x = pen + (g.fromLineTop ? 0 : g.ofsX);
                op.y = top + (g.fromLineTop ? 0 : qBound(-kMaxBox, d.lineHeight - d.baseLine, kMaxBox) - g.boxH - g.ofsY);
                draw = true;
            }
            advance = qBound(0, g.advW, kMaxBox);
        } else {
            // LVGL leaves control characters, U+F8FF and U+200C without a box.
            missing = true;
            if (placeholders && c >= 0x20 && c != 0xF8FF && c != 0x200C) {
                op.letter = c;
                op.placeholder = true;
                op.x = pen;
                op.y = top;
                op.w = lineHeight / 2 + 1;
                op.h = lineHeight + 1;
                draw = true;
                advance = lineHeight / 2 + 2;
            }
        }
        next.right = qMax(next.right, qint64(pen) + advance);
        if (draw) {
            next.left = qMin(next.left, qint64(op.x));
            next.top = qMin(next.top, qint64(op.y));
            next.right = qMax(next.right, qint64(op.x) + op.w);
            next.bottom = qMax(next.bottom, qint64(op.y) + op.h);
            next.inked += qint64(op.w) * op.h;
        }
        if (!next.fits()) {
            cut(i);
            break;
        }
        extent = next;
        if (draw)
            ops.push_back(op);
        if (missing) {
            d.missing.push_back({line, pen, advance});
            const QString letter = QString::fromUcs4(&c, 1);
            if (!d.missingLetters.contains(letter))
                d.missingLetters += letter;
        }
        pen += advance;
    }
    d.lines = line + 1;

    // Glyphs may reach outside their line; the picture shows them wherever they land.
    d.origin = QPoint(kMargin - int(extent.left), kMargin - int(extent.top));
    d.opacity = QImage(int(extent.right - extent.left) + 2 * kMargin, int(extent.bottom - extent.top) + 2 * kMargin,
                       QImage::Format_Grayscale8);
    if (d.opacity.isNull()) {
        d.notes << QStringLiteral("not enough memory for the picture");
        return d;
    }
    d.opacity.fill(0);
    for (const DrawOp &op : ops) {
        const QPoint at = d.origin + QPoint(op.x, op.y);
        if (op.placeholder) {
            drawBox(d.opacity, at, op.w, op.h);
        } else if (!drawGlyph(d.opacity, at, op.glyph, font.bitmapBytes())) {
            const QString note =
                QStringLiteral("%1: the glyph reads past the end of the font's data").arg(codePointName(op.letter));
            if (!d.notes.contains(note))
                d.notes << note;
        }
    }
    return d;
}

QImage stylePreview(const PreviewDrawing &d, const PreviewStyle &style, QString *note)
{
    const QImage &src = d.opacity;
    const int asked = qBound(1, style.scale, 8);
    int scale = asked;
    const auto fits = [&src](qint64 s) {
        return src.width() * s <= kMaxSide && src.height() * s <= kMaxSide
            && qint64(src.width()) * src.height() * s * s <= kPixelBudget;
    };
    while (scale > 1 && !fits(scale))
        scale /= 2;
    if (src.isNull())
        return QImage();
    if (scale != asked && note) {
        *note = QStringLiteral("drawn at %1x instead of %2x: larger, the picture would exceed %3 pixels a side "
                               "or %4 megapixels")
                    .arg(scale)
                    .arg(asked)
                    .arg(kMaxSide)
                    .arg(kPixelBudget >> 20);
    }

    const QColor background = style.dark ? QColor(0x20, 0x20, 0x20) : QColor(Qt::white);
    const QColor ink = style.dark ? QColor(Qt::white) : QColor(Qt::black);
    QRgb colours[256];
    for (int a = 0; a < 256; ++a) {
        const auto mix = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
        colours[a] = qRgb(mix(ink.red(), background.red()), mix(ink.green(), background.green()),
                          mix(ink.blue(), background.blue()));
    }
    QImage out(src.width() * scale, src.height() * scale, QImage::Format_RGB32);
    if (out.isNull()) {
        if (note)
            *note = QStringLiteral("not enough memory for the picture");
        return QImage();
    }
    for (int y = 0; y < src.height(); ++y) {
        const uchar *in = src.constScanLine(y);
        QRgb *row = reinterpret_cast<QRgb *>(out.scanLine(y * scale));
        for (int x = 0; x < src.width(); ++x) {
            for (int k = 0; k < scale; ++k)
                row[x * scale + k] = colours[in[x]];
        }
        for (int k = 1; k < scale; ++k)
            std::memcpy(out.scanLine(y * scale + k), row, size_t(out.bytesPerLine()));
    }

    QPainter painter(&out);
    const int lineHeight = d.lineHeight * scale;
    const int originX = d.origin.x() * scale;
    const int originY = d.origin.y() * scale;
    if (style.guides) {
        // Each line's box, and the base line the glyph offsets are measured from.
        painter.setPen(QPen(QColor(0x2E, 0xA0, 0x43), 1));
        for (int i = 0; i <= d.lines; ++i)
            painter.drawLine(0, originY + i * lineHeight, out.width() - 1, originY + i * lineHeight);
        painter.drawLine(originX, 0, originX, out.height() - 1);
        painter.setPen(QPen(QColor(0x1E, 0x88, 0xE5), 1, Qt::DashLine));
        for (int i = 0; i < d.lines; ++i) {
            const int y = originY + i * lineHeight + (d.lineHeight - d.baseLine) * scale;
            painter.drawLine(0, y, out.width() - 1, y);
        }
    }
    // A missing letter gets a small red triangle at the foot of its place in the line.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xE5, 0x39, 0x35));
    const int size = qMax(3, 2 * scale);
    for (const PreviewDrawing::Missing &m : d.missing) {
        const int cx = originX + m.x * scale + m.width * scale / 2;
        const int foot = originY + (m.line + 1) * lineHeight;
        painter.drawPolygon(QPolygon({QPoint(cx, foot - size), QPoint(cx - size, foot + size / 2),
                                      QPoint(cx + size, foot + size / 2)}));
    }
    return out;
}

bool placeholdersByDefault(int lvVer)
{
    return lvVer >= 2;
}

QString defaultPreviewSample(const QString &asked, const QString &set)
{
    QString out;
    for (const QString *chars : {&asked, &set}) {
        int count = 0;
        for (int i = 0; i < chars->size() && count < kSampleLength; ++i) {
            const QChar c = chars->at(i);
            if (c.isNull() || isControlCharacter(c))
                continue;
            out += c;
            if (c.isHighSurrogate() && i + 1 < chars->size() && chars->at(i + 1).isLowSurrogate())
                out += chars->at(++i);
            ++count;
        }
        if (!out.isEmpty())
            break;
    }
    return out;
}

} // namespace qm
