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

CompressedGlyphs::Glyph CompressedGlyphs::startGlyph(QChar ch, int boxW, int boxH)
{
    Glyph g;
    g.ch = ch;
    g.w = qMax(0, boxW);
    g.h = qMax(0, boxH);
    g.levels.assign(size_t(g.w) * size_t(g.h), 0);
    m_largest = qMax(m_largest, rowBytesFor(g.w, m_bpp) * g.h);
    return g;
}

void CompressedGlyphs::addGlyph(QChar ch, int boxW, int boxH, const QString &rows)
{
    Glyph g = startGlyph(ch, boxW, boxH);
    const int mask = (1 << m_bpp) - 1;

    // The rows text is the one place the bytes exist on this side of the pipeline; the
    // few hundred literals of a glyph read back far faster than drawing it again.
    g.picture.reserve(g.h * (g.w + 3));
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

void CompressedGlyphs::addGlyphBytes(QChar ch, int boxW, int boxH, const uint8_t *packed)
{
    Glyph g = startGlyph(ch, boxW, boxH);
    const int rowBytes = rowBytesFor(g.w, m_bpp);
    const int mask = (1 << m_bpp) - 1;
    for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
            const int bit = x * m_bpp;
            g.levels[size_t(y * g.w + x)] = uint8_t((packed[y * rowBytes + bit / 8] >> (8 - m_bpp - bit % 8)) & mask);
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

    std::vector<QByteArray> streams;
    encodeGlyphs(m_model, views, m_end, streams);

    QHash<QByteArray, int> seen;   // stream -> the first glyph with it
    seen.reserve(int(m_glyphs.size()));
    m_streamBytes = 0;
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        Glyph &g = m_glyphs[i];
        g.stream = std::move(streams[i]);
        m_longest = qMax(m_longest, int(g.stream.size()));
        g.levels = std::vector<uint8_t>();
        g.offset = m_streamBytes;
        if (g.stream.isEmpty())
            continue;
        if (m_end == StreamEnd::Known) {
            m_streamBytes += g.stream.size();
            continue;
        }
        // One stream and one box make the same picture; a stream that some other box
        // decodes to another picture keeps its own bytes.
        const auto it = seen.constFind(g.stream);
        if (it != seen.constEnd()) {
            const Glyph &first = m_glyphs[size_t(it.value())];
            if (first.w == g.w && first.h == g.h) {
                g.offset = first.offset;
                g.shared = true;
                continue;
            }
        } else {
            seen.insert(g.stream, int(i));
        }
        m_streamBytes += g.stream.size();
    }
}

QString CompressedGlyphs::pictureAndBytes(int i, bool sharedToo) const
{
    static const char hex[] = "0123456789abcdef";
    const Glyph &g = m_glyphs[size_t(i)];
    QString body = g.picture;
    const bool bytes = sharedToo || !g.shared;
    for (int k = 0; bytes && k < g.stream.size(); ++k) {
        const uint byte = uchar(g.stream[k]);
        body += QLatin1String("0x");
        body += QLatin1Char(hex[byte >> 4]);
        body += QLatin1Char(hex[byte & 15]);
        body += QLatin1Char(',');
        if (k % 16 == 15 || k + 1 == g.stream.size())
            body += QLatin1Char('\n');
    }
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    return body;
}

void CompressedGlyphs::appendBlocks(LineBuffer &out) const
{
    // The plain block's layout: the picture where the rows were, the stream after it.
    QString block;
    for (int i = 0; i < count(); ++i) {
        block.clear();
        writeFmtTxtBitmapBlock(block, m_glyphs[size_t(i)].ch, pictureAndBytes(i, false));
        out.append(block);
    }
}

QString CompressedGlyphs::decoderText(bool a8) const
{
    GlyphDecoderTarget target;
    target.a8 = a8;
    QString text = glyphDecoderTables(m_model) + glyphDecoderFunction(m_model, target);
    if (a8) {
        text.chop(1);
    } else {
        // LVGL 6 and 8 draw from the pointer the callback returns before they ask for
        // another glyph, so one buffer of the largest glyph serves every call.
        text += QStringLiteral("static uint8_t glyph_unpacked[%1];\n").arg(m_largest);
    }
    return text;
}

QByteArray CompressedGlyphs::streams() const
{
    QByteArray all;
    all.reserve(m_streamBytes);
    for (const Glyph &g : m_glyphs)
        if (!g.shared)
            all += g.stream;
    return all;
}

} // namespace qm
