#include "compressedglyphs.h"

#include "output/encoders.h"
#include "output/fmttxtfont.h"

namespace qm {

namespace {

int hexDigit(ushort c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void CompressedGlyphs::addGlyph(QChar ch, int boxW, int boxH, const QString &rows)
{
    Glyph g;
    g.ch = ch;
    g.w = qMax(0, boxW);
    g.h = qMax(0, boxH);
    g.levels.assign(size_t(g.w) * size_t(g.h), 0);
    const int rowBytes = rowBytesFor(g.w, m_bpp);
    m_largest = qMax(m_largest, rowBytes * g.h);
    const int mask = (1 << m_bpp) - 1;

    // The rows text is the one place the bytes exist on this side of the pipeline; the
    // few hundred literals of a glyph read back far faster than drawing it again.
    int y = 0;
    const ushort *p = rows.utf16();
    const ushort *end = p + rows.size();
    while (p < end && y < g.h) {
        const ushort *lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        int byteIndex = 0;
        const ushort *q = p;
        for (; q + 3 < lineEnd; ++q) {
            if (q[0] == '/' && q[1] == '/')
                break;
            if (q[0] == '0' && q[1] == 'x') {
                const int hi = hexDigit(q[2]), lo = hexDigit(q[3]);
                if (hi < 0 || lo < 0)
                    continue;
                const int byte = hi << 4 | lo;
                for (int k = 0; k < 8 / m_bpp; ++k) {
                    const int x = byteIndex * (8 / m_bpp) + k;
                    if (x < g.w)
                        g.levels[size_t(y * g.w + x)] = uint8_t((byte >> (8 - m_bpp - k * m_bpp)) & mask);
                }
                ++byteIndex;
                q += 3;
            }
        }
        while (q + 1 < lineEnd && !(q[0] == '/' && q[1] == '/'))
            ++q;
        g.picture += QLatin1String("//");
        if (q + 1 < lineEnd)
            g.picture += QString(reinterpret_cast<const QChar *>(q + 2), int(lineEnd - q - 2));
        g.picture += QLatin1Char('\n');
        p = lineEnd < end ? lineEnd + 1 : end;
        ++y;
    }
    m_glyphs.push_back(std::move(g));
}

void CompressedGlyphs::finish()
{
    std::vector<GlyphLevels> views;
    views.reserve(m_glyphs.size());
    for (const Glyph &g : m_glyphs)
        views.push_back({g.w, g.h, g.levels.data()});
    m_model = GlyphCodecModel::train(m_bpp, views);

    QHash<QByteArray, int> seen;
    m_streamBytes = 0;
    for (Glyph &g : m_glyphs) {
        QByteArray stream = encodeGlyph(m_model, {g.w, g.h, g.levels.data()});
        if (stream.isEmpty()) {
            g.offset = m_streamBytes;
            continue;
        }
        // Two glyphs of one box and one stream are the same picture.
        const QByteArray key = QByteArray::number(g.w) + 'x' + QByteArray::number(g.h) + ':' + stream;
        const auto it = seen.constFind(key);
        if (it != seen.constEnd()) {
            g.offset = it.value();
            continue;
        }
        g.offset = m_streamBytes;
        seen.insert(key, g.offset);
        m_streamBytes += stream.size();
        g.stream = std::move(stream);
    }
}

void CompressedGlyphs::appendBlocks(LineBuffer &out) const
{
    static const char hex[] = "0123456789abcdef";
    QString body;
    for (const Glyph &g : m_glyphs) {
        // The plain block's layout: the picture where the rows were, the stream after it.
        body = g.picture;
        for (int i = 0; i < g.stream.size(); ++i) {
            const uint byte = uchar(g.stream[i]);
            body += QLatin1String("0x");
            body += QLatin1Char(hex[byte >> 4]);
            body += QLatin1Char(hex[byte & 15]);
            body += QLatin1Char(',');
            if (i % 16 == 15 || i + 1 == g.stream.size())
                body += QLatin1Char('\n');
        }
        if (body.endsWith(QLatin1Char('\n')))
            body.chop(1);
        QString block;
        writeFmtTxtBitmapBlock(block, g.ch, body);
        out.append(block);
    }
}

QByteArray CompressedGlyphs::streams() const
{
    QByteArray all;
    all.reserve(m_streamBytes);
    for (const Glyph &g : m_glyphs)
        all += g.stream;
    return all;
}

} // namespace qm
