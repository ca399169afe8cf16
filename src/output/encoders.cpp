#include "output/encoders.h"

#include <algorithm>

namespace qm {

namespace {

// A 32-bit view of any image: formats other than the 32-bit RGB ones are converted.
QImage as32Bit(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    default:
        return image.convertToFormat(QImage::Format_ARGB32);
    }
}

inline uint redBlueValue(QRgb p)
{
    const uint r = qRed(p), b = qBlue(p);
    return r > b ? (r << 8) | b : (b << 8) | r;
}

inline char rgbPreview(uint v)
{
    if (v > 0xEEEE) return '@';
    if (v > 0xAAAA) return '%';
    if (v > 0x5555) return '+';
    return '.';
}

inline char alphaPreview(uint a)
{
    if (a == 0) return '.';
    if (a < 64) return '+';
    if (a < 128) return '*';
    if (a < 192) return '%';
    if (a < 255) return '#';
    return '@';
}

const char kHex[] = "0123456789abcdef";

// Packs `width` levels MSB-first into bytes; `sink` receives each finished byte.
template <typename LevelAt, typename Emit>
inline void packRow(int width, int bpp, LevelAt levelAt, Emit sink)
{
    uint acc = 0;
    int bits = 0;
    for (int x = 0; x < width; ++x) {
        acc = ((acc << bpp) & 0xFF) | levelAt(x);
        bits += bpp;
        if ((bits & 7) == 0) {
            sink(uint8_t(acc));
            acc = 0;
        }
    }
    if (bits & 7) {
        while (bits & 7) {
            acc = (acc << bpp) & 0xFF;
            bits += bpp;
        }
        sink(uint8_t(acc));
    }
}

// Writes "0x%02x," at p; returns the end.
inline ushort *putByteLiteral(ushort *p, uint byte)
{
    p[0] = '0';
    p[1] = 'x';
    p[2] = ushort(kHex[byte >> 4]);
    p[3] = ushort(kHex[byte & 15]);
    p[4] = ',';
    return p + 5;
}

// The byte literals of a row whose depth divides a byte, a byte at a time; the same
// bytes packRow() gives.
template <int Bpp, typename LevelAt>
inline ushort *putPackedRow(ushort *p, int width, LevelAt levelAt)
{
    constexpr int perByte = 8 / Bpp;
    int x = 0;
    for (; x + perByte <= width; x += perByte) {
        uint acc = 0;
        for (int k = 0; k < perByte; ++k)
            acc = ((acc << Bpp) & 0xFF) | levelAt(x + k);
        p = putByteLiteral(p, acc);
    }
    if (x < width) {
        uint acc = 0;
        for (int k = 0; k < perByte; ++k)
            acc = ((acc << Bpp) & 0xFF) | (x + k < width ? levelAt(x + k) : 0u);
        p = putByteLiteral(p, acc);
    }
    return p;
}

// Appends one text row: byte literals, "  //", one preview character per pixel. The
// row's length is known, so it is written in place rather than appended piece by piece.
template <typename LevelAt, typename PreviewAt>
void appendTextRow(QString &out, int width, int bpp, LevelAt levelAt, PreviewAt previewAt)
{
    const int at = out.size();
    out.resize(at + rowBytesFor(width, bpp) * 5 + 4 + width);
    ushort *p = reinterpret_cast<ushort *>(out.data()) + at;
    switch (bpp) {
    case 1: p = putPackedRow<1>(p, width, levelAt); break;
    case 2: p = putPackedRow<2>(p, width, levelAt); break;
    case 4: p = putPackedRow<4>(p, width, levelAt); break;
    case 8: p = putPackedRow<8>(p, width, levelAt); break;
    default:
        packRow(width, bpp, levelAt, [&p](uint8_t byte) { p = putByteLiteral(p, byte); });
        break;
    }
    p[0] = ' ';
    p[1] = ' ';
    p[2] = '/';
    p[3] = '/';
    p += 4;
    for (int x = 0; x < width; ++x)
        *p++ = ushort(previewAt(x));
}

// The level and previews of every alpha value, and of every gray pixel (red and blue
// alike: V = 257 x value, so its level is the same), at one depth, worked out once.
struct LevelTable {
    uchar level[256];
    char preview[256];       // of an alpha value
    char grayPreview[256];   // of a gray pixel
};

const LevelTable &levelTable(int mask)
{
    auto make = [](int m) {
        LevelTable t;
        for (uint a = 0; a < 256; ++a) {
            t.level[a] = uchar(alphaLevel(a, m));
            t.preview[a] = alphaPreview(a);
            t.grayPreview[a] = rgbPreview(a * 257u);
        }
        return t;
    };
    static const LevelTable tables[] = {make(1), make(3), make(15), make(255)};
    switch (mask) {
    case 1: return tables[0];
    case 3: return tables[1];
    case 15: return tables[2];
    default: return tables[3];
    }
}

bool hasLevelTable(int mask)
{
    return mask == 1 || mask == 3 || mask == 15 || mask == 255;
}

// Room for `rows` rows of `width` pixels and the line breaks between them.
void reserveRows(QString &out, int rows, int width, int bpp)
{
    out.reserve(out.size() + rows * (rowBytesFor(width, bpp) * 5 + width + 5));
}

void appendRgbRows(QString &out, const QImage &image, int firstRow, int lastRow, int bpp, int mask)
{
    const int w = image.width();
    if (lastRow < firstRow)
        return;
    reserveRows(out, lastRow - firstRow + 1, w, bpp);
    const bool tabled = hasLevelTable(mask);
    const LevelTable &table = levelTable(mask);
    for (int y = firstRow; y <= lastRow; ++y) {
        if (y > firstRow)
            out.append(QLatin1Char('\n'));
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        // Captured ink is gray but for colour fringes: those take the long way.
        appendTextRow(
            out, w, bpp,
            [line, mask, tabled, &table](int x) {
                const QRgb p = line[x];
                if (tabled && qRed(p) == qBlue(p))
                    return uint(table.level[qRed(p)]);
                return redBlueValue(p) * uint(mask) / 65535u;
            },
            [line, tabled, &table](int x) {
                const QRgb p = line[x];
                if (tabled && qRed(p) == qBlue(p))
                    return table.grayPreview[qRed(p)];
                return rgbPreview(redBlueValue(p));
            });
    }
}

bool rowHasInk(const QImage &image, int y)
{
    const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    for (int x = 0, w = image.width(); x < w; ++x) {
        if (line[x] & 0x00FFFFFFu)
            return true;
    }
    return false;
}

} // namespace

bool findInkedRows(const QImage &source, int *top, int *bottom)
{
    const QImage image = as32Bit(source);
    const int h = image.height();
    int t = 0;
    while (t < h && !rowHasInk(image, t))
        ++t;
    if (t >= h)
        return false;
    int b = h - 1;
    while (b > t && !rowHasInk(image, b))
        --b;
    *top = t;
    *bottom = b;
    return true;
}

void appendGlyphRows(QString &out, const QImage &source, int bpp, int mask)
{
    if (source.isNull() || source.height() == 0)
        return;
    const QImage image = as32Bit(source);
    appendRgbRows(out, image, 0, image.height() - 1, bpp, mask);
}

QString encodeGlyphRows(const QImage &source, int bpp, int mask)
{
    QString out;
    appendGlyphRows(out, source, bpp, mask);
    return out;
}

void appendCroppedGlyphRows(QString &out, const QImage &source, int bpp, int mask, int *boxH, int *rowsBelow)
{
    *boxH = 0;
    *rowsBelow = 0;
    if (source.isNull() || source.width() == 0)
        return;
    const QImage image = as32Bit(source);
    int top, bottom;
    if (!findInkedRows(image, &top, &bottom))
        return;
    *boxH = bottom - top + 1;
    *rowsBelow = image.height() - bottom - 1;
    appendRgbRows(out, image, top, bottom, bpp, mask);
}

QString encodeCroppedGlyphRows(const QImage &source, int bpp, int mask, int *boxH, int *rowsBelow)
{
    QString out;
    appendCroppedGlyphRows(out, source, bpp, mask, boxH, rowsBelow);
    return out;
}

QString encodeAlphaRows(const QImage &alphaMap, int bpp, int mask)
{
    QString out;
    appendAlphaRows(out, alphaMap, bpp, mask);
    return out;
}

void appendAlphaRows(QString &out, const QImage &alphaMap, int bpp, int mask)
{
    if (alphaMap.isNull() || alphaMap.height() == 0)
        return;
    const QImage image = alphaMap.format() == QImage::Format_Alpha8
        ? alphaMap
        : alphaMap.convertToFormat(QImage::Format_Alpha8);
    const int w = image.width();
    reserveRows(out, image.height(), w, bpp);
    const bool tabled = hasLevelTable(mask);
    const LevelTable &table = levelTable(mask);
    for (int y = 0; y < image.height(); ++y) {
        if (y > 0)
            out.append(QLatin1Char('\n'));
        const uchar *line = image.constScanLine(y);
        if (tabled) {
            appendTextRow(
                out, w, bpp, [line, &table](int x) { return uint(table.level[line[x]]); },
                [line, &table](int x) { return table.preview[line[x]]; });
        } else {
            appendTextRow(
                out, w, bpp, [line, mask](int x) { return alphaLevel(line[x], mask); },
                [line](int x) { return alphaPreview(line[x]); });
        }
    }
}

void alphaInBox(const QImage &alphaMap, int boxW, int boxH, std::vector<uint8_t> &alpha, int *width, int *rows)
{
    const int w = qMax(0, boxW), h = qMax(0, boxH);
    alpha.assign(size_t(w) * size_t(h), 0);
    *width = *rows = 0;
    if (alphaMap.isNull() || h == 0)
        return;
    const QImage image = alphaMap.format() == QImage::Format_Alpha8
        ? alphaMap
        : alphaMap.convertToFormat(QImage::Format_Alpha8);
    *width = image.width();
    *rows = qMin(image.height(), h);
    const int inBox = qMin(image.width(), w);
    for (int y = 0; y < *rows; ++y)
        std::copy_n(image.constScanLine(y), inBox, alpha.begin() + ptrdiff_t(y) * w);
}

char alphaPreviewChar(uint alpha)
{
    return alphaPreview(alpha);
}

void packCroppedGlyphBytes(const QImage &source, int bpp, int mask, uint8_t *buffer,
                           int *boxH, int *rowsBelow)
{
    *boxH = 0;
    *rowsBelow = 0;
    if (source.isNull() || source.width() == 0)
        return;
    const QImage image = as32Bit(source);
    int top, bottom;
    if (!findInkedRows(image, &top, &bottom))
        return;
    *boxH = bottom - top + 1;
    *rowsBelow = image.height() - bottom - 1;
    uint8_t *out = buffer;
    for (int y = top; y <= bottom; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        packRow(
            image.width(), bpp,
            [line, mask](int x) { return redBlueValue(line[x]) * uint(mask) / 65535u; },
            [&out](uint8_t byte) { *out++ = byte; });
    }
}

} // namespace qm
