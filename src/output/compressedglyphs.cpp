#include "compressedglyphs.h"

#include "output/encoders.h"
#include "output/fmttxtfont.h"

#include <algorithm>

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

CompressedGlyphs::Glyph &CompressedGlyphs::startGlyph(QChar ch, int boxW, int boxH)
{
    Glyph g;
    g.ch = ch;
    g.w = qMax(0, boxW);
    g.h = qMax(0, boxH);
    g.levelsAt = m_levels.size();
    m_levels.resize(m_levels.size() + size_t(g.w) * size_t(g.h), 0);
    g.pictureAt = m_pictures.size();
    m_largest = qMax(m_largest, rowBytesFor(g.w, m_bpp) * g.h);
    m_glyphs.push_back(std::move(g));
    return m_glyphs.back();
}

void CompressedGlyphs::readRows(int bpp, int boxW, int boxH, const QString &rows, std::vector<uint8_t> &levels,
                                QString &picture)
{
    const int w = qMax(0, boxW), h = qMax(0, boxH);
    levels.assign(size_t(w) * size_t(h), 0);
    picture.resize(0);
    const int mask = (1 << bpp) - 1;

    // The rows text is the one place the bytes exist on this side of the pipeline; the
    // few hundred literals of a glyph read back far faster than drawing it again.
    picture.reserve(h * (w + 3));
    const int rowBytes = rowBytesFor(w, bpp);
    const int hexChars = rowBytes * 5;   // "0xhh," a byte
    const int perByte = 8 / bpp;
    int y = 0;
    const ushort *p = rows.utf16();
    const ushort *end = p + rows.size();
    auto putByte = [&](int byteIndex, int byte) {
        for (int k = 0; k < perByte; ++k) {
            const int x = byteIndex * perByte + k;
            if (x < w)
                levels[size_t(y * w + x)] = uint8_t((byte >> (8 - bpp - k * bpp)) & mask);
        }
    };
    while (p < end && y < h) {
        const ushort *lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        const ushort *q = p;
        if (lineEnd - p >= hexChars + 4 && p[hexChars] == ' ' && p[hexChars + 1] == ' ' && p[hexChars + 2] == '/'
            && p[hexChars + 3] == '/') {
            // The encoders' own layout: the row's bytes, then the picture.
            for (int b = 0; b < rowBytes; ++b) {
                const int hi = hexDigit(p[b * 5 + 2]), lo = hexDigit(p[b * 5 + 3]);
                if (hi >= 0 && lo >= 0)
                    putByte(b, hi << 4 | lo);
            }
            q = p + hexChars + 2;
        } else {
            int byteIndex = 0;
            for (; q + 3 < lineEnd; ++q) {
                if (q[0] == '/' && q[1] == '/')
                    break;
                if (q[0] == '0' && q[1] == 'x') {
                    const int hi = hexDigit(q[2]), lo = hexDigit(q[3]);
                    if (hi < 0 || lo < 0)
                        continue;
                    putByte(byteIndex++, hi << 4 | lo);
                    q += 3;
                }
            }
            while (q + 1 < lineEnd && !(q[0] == '/' && q[1] == '/'))
                ++q;
        }
        picture += QLatin1String("//");
        if (q + 1 < lineEnd)
            picture.append(reinterpret_cast<const QChar *>(q + 2), int(lineEnd - q - 2));
        picture += QLatin1Char('\n');
        p = lineEnd < end ? lineEnd + 1 : end;
        ++y;
    }
}

void CompressedGlyphs::addReadGlyph(QChar ch, int boxW, int boxH, const std::vector<uint8_t> &levels,
                                    const QString &picture)
{
    Glyph &g = startGlyph(ch, boxW, boxH);
    std::copy_n(levels.begin(), std::min(levels.size(), size_t(g.w) * size_t(g.h)), m_levels.begin() + ptrdiff_t(g.levelsAt));
    // The pictures are the encoders' ASCII, kept a byte a character: fresh memory is
    // much of what a large set costs.
    m_pictures.resize(g.pictureAt + picture.size());
    char *out = m_pictures.data() + g.pictureAt;
    for (const QChar c : picture)
        *out++ = c.unicode() < 0x100 ? char(c.unicode()) : '?';
    g.pictureLength = picture.size();
}

void CompressedGlyphs::setAlphaMask(int mask)
{
    m_alphaGlyphs = true;
    for (uint a = 0; a < 256; ++a) {
        m_levelOfAlpha[a] = uint8_t(alphaLevel(a, mask));
        m_previewOfAlpha[a] = ushort(uchar(alphaPreviewChar(a)));
    }
}

void CompressedGlyphs::addAlphaGlyph(QChar ch, int boxW, int boxH, const std::vector<uint8_t> &alpha, int width,
                                     int rows)
{
    Glyph &g = startGlyph(ch, boxW, boxH);
    std::copy_n(alpha.begin(), std::min(alpha.size(), size_t(g.w) * size_t(g.h)), m_levels.begin() + ptrdiff_t(g.levelsAt));
    g.alpha = true;
    g.alphaWidth = qBound(0, width, g.w);
    g.alphaRows = qBound(0, rows, g.h);
}

void CompressedGlyphs::addGlyph(QChar ch, int boxW, int boxH, const QString &rows)
{
    std::vector<uint8_t> levels;
    QString picture;
    readRows(m_bpp, boxW, boxH, rows, levels, picture);
    addReadGlyph(ch, boxW, boxH, levels, picture);
}

void CompressedGlyphs::addGlyphBytes(QChar ch, int boxW, int boxH, const uint8_t *packed)
{
    Glyph &g = startGlyph(ch, boxW, boxH);
    uint8_t *levels = m_levels.data() + g.levelsAt;
    const int rowBytes = rowBytesFor(g.w, m_bpp);
    const int mask = (1 << m_bpp) - 1;
    for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
            const int bit = x * m_bpp;
            levels[size_t(y * g.w + x)] = uint8_t((packed[y * rowBytes + bit / 8] >> (8 - m_bpp - bit % 8)) & mask);
        }
}

void CompressedGlyphs::reserve(int glyphs, int lineHeight)
{
    const size_t n = size_t(qMax(0, glyphs));
    m_glyphs.reserve(n);
    // Boxes rarely pass the line's height either way; what is reserved and never
    // touched costs no memory.
    const size_t side = size_t(qBound(1, lineHeight, 256));
    m_levels.reserve(qMin<size_t>(n * side * side, size_t(1) << 26));
    if (!m_alphaGlyphs)
        m_pictures.reserve(int(qMin<size_t>(n * side * (side + 3), size_t(1) << 25)));
}

void CompressedGlyphs::finish()
{
    std::vector<GlyphLevels> views;
    views.reserve(m_glyphs.size());
    for (const Glyph &g : m_glyphs)
        views.push_back({g.w, g.h, m_levels.data() + g.levelsAt, g.alpha ? m_levelOfAlpha : nullptr});
    m_model = GlyphCodecModel::train(m_bpp, views);
    std::vector<QByteArray> streams;
    encodeGlyphs(m_model, views, m_end, streams);

    m_streamBytes = 0;
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        Glyph &g = m_glyphs[i];
        g.stream = std::move(streams[i]);
        m_longest = qMax(m_longest, int(g.stream.size()));
        g.offset = m_streamBytes;
        m_streamBytes += g.stream.size();
    }
    // Glyphs kept as alpha values make their pictures from them later.
    if (std::none_of(m_glyphs.begin(), m_glyphs.end(), [](const Glyph &g) { return g.alpha; }))
        m_levels = std::vector<uint8_t>();
}

void CompressedGlyphs::appendPictureAndBytes(QString &body, int i) const
{
    static const char hex[] = "0123456789abcdef";
    const Glyph &g = m_glyphs[size_t(i)];
    const int start = body.size();
    if (g.alpha) {
        const uint8_t *alpha = m_levels.data() + g.levelsAt;
        const int at = body.size();
        body.resize(at + g.alphaRows * (g.alphaWidth + 3));
        ushort *p = reinterpret_cast<ushort *>(body.data()) + at;
        for (int y = 0; y < g.alphaRows; ++y) {
            *p++ = '/';
            *p++ = '/';
            const uint8_t *row = alpha + y * g.w;
            for (int x = 0; x < g.alphaWidth; ++x)
                *p++ = m_previewOfAlpha[row[x]];
            *p++ = '\n';
        }
    } else {
        body.append(QLatin1String(m_pictures.constData() + g.pictureAt, g.pictureLength));
    }
    const int bytes = g.stream.size();
    // A line of sixteen literals at a time, made on the stack.
    char line[16 * 5 + 1];
    for (int k = 0; k < bytes; k += 16) {
        const int n = qMin(16, bytes - k);
        for (int j = 0; j < n; ++j) {
            const uint byte = uchar(g.stream[k + j]);
            char *at = line + j * 5;
            at[0] = '0';
            at[1] = 'x';
            at[2] = hex[byte >> 4];
            at[3] = hex[byte & 15];
            at[4] = ',';
        }
        line[n * 5] = '\n';
        body += QLatin1String(line, n * 5 + 1);
    }
    if (body.size() > start && body.endsWith(QLatin1Char('\n')))
        body.chop(1);
}

void CompressedGlyphs::appendBlocks(LineBuffer &out) const
{
    // The plain block's layout: the picture where the rows were, the stream after it,
    // written straight into the output.
    for (int i = 0; i < count(); ++i) {
        QString &block = out.newLine();
        block += QLatin1String("/* ");
        block += quotedChar(m_glyphs[size_t(i)].ch);
        block += QLatin1String(" */\n");
        appendPictureAndBytes(block, i);
        block += QLatin1String("\n\n");
    }
}

void CompressedGlyphs::warnIfLargerThanPlain(QStringList &warnings) const
{
    qint64 plain = 0, compressed = 0;
    for (const Glyph &g : m_glyphs) {
        plain += qint64(rowBytesFor(g.w, m_bpp)) * g.h;
        compressed += g.stream.size();
    }
    for (int p = 0; p < m_model.planeCount(); ++p)
        compressed += m_model.plane(p).tableBytes();
    if (compressed <= plain)
        return;
    warnings << QStringLiteral("压缩后的字形连同解码表共%1字节，比不压缩时的%2字节还大：这组字符不宜压缩"
                          "/The compressed glyphs with their tables take %1 bytes, more than the %2 bytes of "
                          "plain ones: this set is better left uncompressed")
        .arg(compressed)
        .arg(plain);
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

} // namespace qm
