#include "output/xbftable.h"
#include "output/capturepipeline.h"

#include "output/lvgl9text.h"
#include "output/lvgltext.h"

#include "output/encoders.h"

#include <QStringList>

namespace qm {

QString buildXbfTypedefs()
{
    static const char *const lines[] = {
        "typedef struct{",
        "    uint16_t min;",
        "    uint16_t max;",
        "    uint8_t  bpp;",
        "    uint8_t  reserved[3];",
        "}x_header_t;",
        "typedef struct{",
        "    uint32_t pos;",
        "}x_table_t;",
        "typedef struct{",
        "    uint8_t adv_w;",
        "    uint8_t box_w;",
        "    uint8_t box_h;",
        "    int8_t  ofs_x;",
        "    int8_t  ofs_y;",
        "    uint8_t r;",
        "}glyph_dsc_t;",
    };
    QStringList out;
    for (const char *line : lines)
        out << QLatin1String(line);
    return out.join(QLatin1Char('\n'));
}

XbfTable::XbfTable(const QString &chars, int bpp) : m_bpp(bpp)
{
    for (const QChar ch : chars) {
        const uint16_t code = ch.unicode();
        if (code == 0)
            continue;
        if (code < m_min)
            m_min = code;
        if (code > m_max)
            m_max = code;
    }
    if (m_min <= m_max)
        m_positions.assign(size_t(m_max - m_min + 1), 0);
    m_next = recordsOffset();
}

void XbfTable::addRecord(QChar code, int bitmapBytes)
{
    const uint16_t c = code.unicode();
    Q_ASSERT(c != 0 && c >= m_min && c <= m_max);
    if (c == 0 || c < m_min || c > m_max)
        return;
    m_positions[size_t(c - m_min)] = m_next;
    // With every field within 255 even 65535 records of 255 x 255 bytes stay below 4 GiB.
    m_next += uint32_t(kXbfDescriptorSize + bitmapBytes);
}

void XbfTable::headerBytes(uint8_t out[kXbfHeaderSize]) const
{
    out[0] = uint8_t(m_min & 0xFF);
    out[1] = uint8_t(m_min >> 8);
    out[2] = uint8_t(m_max & 0xFF);
    out[3] = uint8_t(m_max >> 8);
    out[4] = uint8_t(m_bpp);
    out[5] = out[6] = out[7] = 0;
}

QByteArray XbfTable::headerAndPositions() const
{
    QByteArray bytes(int(recordsOffset()), Qt::Uninitialized);
    uint8_t *p = reinterpret_cast<uint8_t *>(bytes.data());
    headerBytes(p);
    p += kXbfHeaderSize;
    for (const uint32_t pos : m_positions) {
        *p++ = uint8_t(pos);
        *p++ = uint8_t(pos >> 8);
        *p++ = uint8_t(pos >> 16);
        *p++ = uint8_t(pos >> 24);
    }
    return bytes;
}

void XbfRecord::descriptorBytes(uint8_t out[kXbfDescriptorSize]) const
{
    out[0] = uint8_t(advance & 0xFF);
    out[1] = uint8_t(boxW & 0xFF);
    out[2] = uint8_t(boxH & 0xFF);
    out[3] = 0;
    out[4] = uint8_t(ofsY & 0xFF);
    out[5] = 0;
}

XbfRecord makeXbfRecord(const GlyphCapturer::Glyph &glyph, int bpp, int boxH, int rowsBelow,
                        int fontHeight)
{
    XbfRecord r;
    r.advance = glyph.width;
    r.rowBytes = rowBytesFor(glyph.width, bpp);
    r.boxW = r.rowBytes * 8 / bpp;
    r.boxH = boxH;
    // C++ division truncates toward zero, as the centring needs for icons taller than the line.
    r.ofsY = glyph.icon ? (fontHeight - boxH) / 2 : rowsBelow;
    return r;
}

QString runXbfRecords(CapturePipeline &pipeline, const QString &chars, int bpp, int fontHeight, XbfTable &table,
                      ConversionProgress &progress, ConversionResult &result, const XbfRecordSink &take)
{
    ProgressScope scope(progress, chars.size());
    for (int i = 0; i < chars.size(); ++i) {
        CapturedGlyph &captured = pipeline.next(i);
        const GlyphCapturer::Glyph &glyph = captured.glyph;
        if (!progress.step(i, glyph.ch, *glyph.font, glyph.width, glyph.height)) {
            result.cancelled = true;
            break;
        }
        pipeline.finish(captured);
        const XbfRecord record = makeXbfRecord(glyph, bpp, captured.crop.boxH, captured.crop.rowsBelow, fontHeight);
        QString error = xbfRecordError(record, glyph.ch);
        if (error.isEmpty())
            error = take(captured, record);
        if (!error.isEmpty())
            return error;
        table.addRecord(glyph.ch, record.bitmapBytes());
        ++result.written;
    }
    return QString();
}

QString xbfLineHeightError(int lineHeight)
{
    if (lineHeight <= kXbfFieldMax)
        return QString();
    return QStringLiteral("字模高度%1像素超出XBF格式的上限(%2像素),请减小字号")
        .arg(lineHeight)
        .arg(kXbfFieldMax);
}

namespace {

QString describeChar(QChar ch)
{
    const QString code = QStringLiteral("0x%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
    if (ch.isPrint() && !ch.isSpace())
        return QStringLiteral("“%1”(%2)").arg(QString(ch), code);
    return code;
}

} // namespace

QString xbfRecordError(const XbfRecord &record, QChar ch)
{
    // box_w is never below the advance, so it covers adv_w too.
    if (record.boxW > kXbfFieldMax || record.boxH > kXbfFieldMax)
        return QStringLiteral("字符%1的字模为%2×%3像素,超出XBF格式的上限(%4像素),请减小字号")
            .arg(describeChar(ch))
            .arg(record.boxW)
            .arg(record.boxH)
            .arg(kXbfFieldMax);
    // Blank rows below a high glyph (an apostrophe in a tall line) can pass int8 even
    // when the line fits 255.
    if (record.ofsY < -128 || record.ofsY > 127)
        return QStringLiteral("字符%1的纵向偏移为%2,超出XBF格式的范围(-128~127),请减小字号")
            .arg(describeChar(ch))
            .arg(record.ofsY);
    return QString();
}

void appendXbfFileStart(LineBuffer &out, const ConversionRequest &request)
{
    out.append(buildFileHeader());
    out.append(request.includeText);
    out.appendEmptyLines(2);
    if (request.lvVer == kLvgl9)
        appendLvgl9VersionGuard(out);
    out.append(buildXbfTypedefs());
    out.appendEmptyLines(2);
}

void appendXbfPositionReader(LineBuffer &out)
{
    out.appendEach({
        "static uint32_t __user_font_pos(const uint8_t *p) {",
        "    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;",
        "}",
    });
    out.appendEmptyLines(2);
}

void appendXbfFontObject(LineBuffer &out, const ConversionRequest &request, int fontHeight,
                         const QString &defaultTypeText)
{
    out.append(fontCommentLine(request.font));
    out.append(QStringLiteral("//字模高度：%1").arg(fontHeight));
    out.append(QStringLiteral("//") + (request.typeText.isEmpty() ? defaultTypeText : request.typeText));
    appendFontObjectOpening(out, request.fontName);
    out.append(QLatin1String("    .get_glyph_dsc = __user_font_get_glyph_dsc,"));
    out.append(QLatin1String("    .get_glyph_bitmap = __user_font_get_bitmap,"));
    out.append(QStringLiteral("    .line_height = %1,").arg(fontHeight));
    out.append(QLatin1String("    .base_line = 0,"));
    if (request.lvVer == kLvgl9)
        appendLvgl9StaticBitmapFlag(out);
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
}

} // namespace qm
