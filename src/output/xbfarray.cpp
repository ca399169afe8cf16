#include "output/generators.h"
#include "output/lvgl9text.h"
#include "output/xbftable.h"
#include "output/lvgltext.h"

#include "output/compressedglyphs.h"
#include "output/encoders.h"
#include "output/capturepipeline.h"
#include "output/linebuffer.h"

#include <cstdio>

namespace qm {

namespace {

const char kHexDigits[] = "0123456789abcdef";

// Writes "0x%02x," at p; returns the end.
char *putByteLiteral(char *p, uint8_t byte)
{
    *p++ = '0';
    *p++ = 'x';
    *p++ = kHexDigits[byte >> 4];
    *p++ = kHexDigits[byte & 15];
    *p++ = ',';
    return p;
}

// Writes "%04x" at p; returns the end.
char *putCode(char *p, uint16_t code)
{
    for (int shift = 12; shift >= 0; shift -= 4)
        *p++ = kHexDigits[(code >> shift) & 15];
    return p;
}

QString headerLine(const XbfTable &table)
{
    uint8_t header[kXbfHeaderSize];
    table.headerBytes(header);
    char line[64];
    char *p = line;
    for (uint8_t b : header)
        p = putByteLiteral(p, b);
    return QLatin1String(line, int(p - line)) + QLatin1String("//xbf header");
}

// One line per code of the range: the entry's four bytes, least significant first.
// Built by hand: there can be 65535 of them and a formatted print per line shows.
void appendPositionLines(LineBuffer &out, const XbfTable &table)
{
    char line[32];
    for (int i = 0; i < table.entryCount(); ++i) {
        const uint32_t pos = table.position(i);
        char *p = line;
        for (int k = 0; k < 4; ++k)
            p = putByteLiteral(p, uint8_t(pos >> (8 * k)));
        *p++ = '/';
        *p++ = '/';
        *p++ = '0';
        *p++ = 'x';
        p = putCode(p, uint16_t(table.minCode() + i));
        out.append(QLatin1String(line, int(p - line)));
    }
}

// ofs_y as the byte that holds it: C++ refuses a negative value for a uint8_t.
QString descriptorLine(const XbfRecord &r, uint16_t code)
{
    char line[80];
    const int n = std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d,%d,  //dsc : unicode = 0x%04x",
                                r.advance & 0xFF, r.boxW & 0xFF, r.boxH & 0xFF, 0, r.ofsY & 0xFF, 0,
                                unsigned(code));
    return QLatin1String(line, n);
}

// The header is read byte by byte for the same reason as the positions: x_header_t
// needs an alignment that a byte array does not promise.
void appendTableReaders(LineBuffer &out)
{
    out.appendEach({
        "static x_header_t __user_font_header(void) {",
        "    x_header_t hd = {0};",
        "    hd.min = glyph_dsc_xbf[0] | glyph_dsc_xbf[1] << 8;",
        "    hd.max = glyph_dsc_xbf[2] | glyph_dsc_xbf[3] << 8;",
        "    hd.bpp = glyph_dsc_xbf[4];",
        "    return hd;",
        "}",
    });
    out.appendEmptyLines(2);
    appendXbfPositionReader(out);
}

void appendReaders(LineBuffer &out, bool compressed)
{
    out.appendEach({
        "static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {",
        "    (void)font;",
        "    x_header_t hd = __user_font_header(), *p_hd = &hd;",
        "    if( unicode_letter>p_hd->max || unicode_letter<p_hd->min ) {",
        "        return NULL;",
        "    }",
        "    uint32_t unicode_offset = unicode_letter-p_hd->min;",
        "    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+unicode_offset*4 ]);",
        "    if( pos != 0 ) {",
    });
    if (compressed)
        out.appendEach({
            "        const glyph_dsc_t * gdsc = (const glyph_dsc_t *)&glyph_dsc_xbf[ pos ];",
            "        __user_font_unpack(glyph_dsc_xbf, (uint32_t)sizeof(glyph_dsc_xbf), pos+sizeof(glyph_dsc_t), gdsc->box_w, gdsc->box_h, glyph_unpacked, ((uint32_t)gdsc->box_w * p_hd->bpp + 7u) / 8u);",
            "        return glyph_unpacked;",
        });
    else
        out.append(QLatin1String("        return &glyph_dsc_xbf[ pos+sizeof(glyph_dsc_t) ];"));
    out.appendEach({
        "    }",
        "    return NULL;",
        "}",
    });
    out.appendEmptyLines(2);
    out.appendEach({
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {",
        "    (void)font; (void)unicode_letter_next;",
        "    x_header_t hd = __user_font_header(), *p_hd = &hd;",
        "    if( unicode_letter>p_hd->max || unicode_letter<p_hd->min ) {",
        "        return false;",
        "    }",
        "    uint32_t unicode_offset = unicode_letter-p_hd->min;",
        "    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+unicode_offset*4 ]);",
        "    if( pos != 0 ) {",
        "        glyph_dsc_t * gdsc = (glyph_dsc_t*)&glyph_dsc_xbf[ pos ];",
    });
    appendGlyphDscCopy(out, 8, QStringLiteral("p_hd->bpp"), true);
    out.appendEach({
        "    }",
        "    return false;",
        "}",
    });
    out.appendEmptyLines(2);
}

// LVGL 9: the glyph id is the record's offset in the table.
void appendLvgl9Readers(LineBuffer &out, bool compressed)
{
    appendLvgl9GlyphHelpers(out, !compressed);
    out.appendEach({
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {",
        "    (void)font; (void)unicode_letter_next;",
        "    x_header_t hd = __user_font_header();",
        "    if( unicode_letter>hd.max || unicode_letter<hd.min ) return false;",
        "    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+(unicode_letter-hd.min)*4 ]);",
        "    if( pos == 0 ) return false;",
        "    const glyph_dsc_t * gdsc = (const glyph_dsc_t *)&glyph_dsc_xbf[ pos ];",
        "    __user_font_set_dsc(dsc_out, gdsc->adv_w, gdsc->box_w, gdsc->box_h, gdsc->ofs_x, gdsc->ofs_y, hd.bpp, pos);",
        "    return true;",
        "}",
    });
    out.appendEmptyLines(2);
    out.appendEach({
        "static void __user_font_draw(uint32_t glyph_id, lv_draw_buf_t * draw_buf) {",
        "    const glyph_dsc_t * gdsc = (const glyph_dsc_t *)&glyph_dsc_xbf[ glyph_id ];",
        compressed
            ? "    __user_font_unpack(glyph_dsc_xbf, (uint32_t)sizeof(glyph_dsc_xbf), glyph_id+sizeof(glyph_dsc_t), gdsc->box_w, gdsc->box_h, (uint8_t *)draw_buf->data, draw_buf->header.stride);"
            : "    __user_font_expand(&glyph_dsc_xbf[ glyph_id+sizeof(glyph_dsc_t) ], gdsc->box_w, gdsc->box_h, __user_font_header().bpp, draw_buf);",
        "}",
    });
    out.appendEmptyLines(2);
    appendLvgl9BitmapCallback(out);
}

} // namespace

ConversionResult generateXbfArray(const PreparedConversion &prepared, ConversionProgress &progress)
{
    const ConversionRequest &request = prepared.request;
    ConversionResult result;
    const QString chars = request.chars;
    const int bpp = request.bpp;

    // A glyph's record text stands alone, so it is made by whichever thread captured the
    // glyph.
    const bool compress = request.compress;
    CapturePipeline pipeline(prepared, CapturePipeline::Encoding::CroppedText,
                             [bpp, compress](CapturedGlyph &g, const GlyphCapturer &capturer) {
                                 // Compressed, the block is written once the streams are made.
                                 if (compress)
                                     return;
                                 const QChar ch = g.glyph.ch;
                                 const XbfRecord record = makeXbfRecord(g.glyph, bpp, g.crop.boxH, g.crop.rowsBelow,
                                                                        capturer.lineHeight());
                                 g.block += QLatin1String("/* ") + ch + QLatin1String(" */\n");
                                 g.block += descriptorLine(record, ch.unicode());
                                 g.block += QLatin1Char('\n');
                                 g.block += g.rows;
                                 g.block += QLatin1String("\n\n");
                             });
    const int fontHeight = pipeline.capturer().lineHeight();
    result.fontHeight = fontHeight;

    XbfTable table(chars, bpp);
    // The records come after the position table, which is complete only at the end; they
    // become the file's buffer, and what goes before them is put in front at the end.
    LineBuffer records;
    const qint64 rowChars = rowBytesFor(fontHeight, bpp) * 5 + fontHeight + 5;
    records.reserve(int(qMin<qint64>(qint64(chars.size()) * (fontHeight * rowChars + 64), 1 << 25)));
    // Compressed, a record's size is its stream's, known once the set is complete: the
    // run fills a table of its own and the records are placed afterwards.
    XbfTable plainTable(chars, bpp);
    CompressedGlyphs compressed(bpp, StreamEnd::Open);
    std::vector<std::pair<QChar, XbfRecord>> held;
    const QString error = runXbfRecords(pipeline, chars, bpp, fontHeight, compress ? plainTable : table, progress,
                                        result, [&](const CapturedGlyph &captured, const XbfRecord &record) {
                                            if (compress) {
                                                compressed.addGlyph(captured.glyph.ch, record.boxW, record.boxH,
                                                                    captured.rows);
                                                held.emplace_back(captured.glyph.ch, record);
                                            } else {
                                                records.append(captured.block);
                                            }
                                            return QString();
                                        });
    if (!error.isEmpty()) {
        result.ok = false;
        result.error = error;
        return result;
    }
    if (compress) {
        // Each record keeps a whole stream: the position table has no way to share one.
        compressed.finish();
        compressed.warnIfLargerThanPlain(result.warnings);
        for (int i = 0; i < compressed.count(); ++i) {
            const QChar ch = held[size_t(i)].first;
            // Written straight into the records: a string a record cost as much again.
            QString &record = records.newLine();
            record += QLatin1String("/* ");
            record += ch;
            record += QLatin1String(" */\n");
            record += descriptorLine(held[size_t(i)].second, ch.unicode());
            record += QLatin1Char('\n');
            compressed.appendPictureAndBytes(record, i);
            record += QLatin1String("\n\n");
            table.addRecord(ch, compressed.stream(i).size());
        }
    }

    LineBuffer head;
    appendXbfFileStart(head, request);
    head.append(QLatin1String("static const uint8_t glyph_dsc_xbf[] = {"));
    head.append(QString());
    head.append(headerLine(table));
    head.append(QString());
    appendPositionLines(head, table);
    head.append(QString());
    LineBuffer out;
    if (records.isEmpty()) {
        out = std::move(head);
    } else {
        out = std::move(records);
        out.prepend(head.content());
    }
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
    if (compress) {
        out.append(compressed.decoderText(request.lvVer == kLvgl9));
        out.appendEmptyLines(1);
    }
    appendTableReaders(out);
    if (request.lvVer == kLvgl9)
        appendLvgl9Readers(out, compress);
    else
        appendReaders(out, compress);
    appendXbfFontObject(out, request, fontHeight, QStringLiteral("XBF字体,内部大数组"));

    result.text = out.takeContent();
    return result;
}

} // namespace qm
