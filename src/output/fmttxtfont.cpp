#include "output/fmttxtfont.h"

#include "output/lvgl9text.h"
#include "output/lvgltext.h"

#include "output/compressedglyphs.h"
#include "output/encoders.h"
#include "output/fmttxtlimits.h"

#include <cstdio>

namespace qm {

QString hex4(uint value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x", value);
    return QString::fromLatin1(buf);
}

QString quotedChar(QChar ch)
{
    if (ch.isSurrogate())
        return QString::fromUtf8(QString(ch).toUtf8());
    return QString(ch);
}

namespace {

// Writes `value` in decimal at p; returns the end.
char *putInt(char *p, int value)
{
    uint u = value < 0 ? 0u - uint(value) : uint(value);
    if (value < 0)
        *p++ = '-';
    char digits[12];
    int n = 0;
    do {
        digits[n++] = char('0' + u % 10);
        u /= 10;
    } while (u);
    while (n)
        *p++ = digits[--n];
    return p;
}

char *putText(char *p, const char *text)
{
    while (*text)
        *p++ = *text++;
    return p;
}

// Writes "%04x" at p; returns the end.
char *putHex4(char *p, uint value)
{
    static const char digits[] = "0123456789abcdef";
    char tmp[8];
    int n = 0;
    do {
        tmp[n++] = digits[value & 15];
        value >>= 4;
    } while (value);
    for (int i = n; i < 4; ++i)
        *p++ = '0';
    while (n)
        *p++ = tmp[--n];
    return p;
}

// A glyph's own text is most of what a big font writes, so its lines are put together
// by hand rather than printed.
void addQuotedClose(QString &out, const QString &quoted)
{
    out += quoted;
    out += QLatin1String(")*/");
}

} // namespace

void appendGlyphDescriptorLine(LineBuffer &out, int bitmapIndex, int advW, int boxH, int boxW,
                               int ofsX, int ofsY, const QString &quoted)
{
    const struct {
        const char *label;
        int value;
    } fields[] = {{"    {.bitmap_index = ", bitmapIndex}, {",\t.adv_w = ", advW}, {", .box_w = ", boxW},
                  {", .box_h = ", boxH},                  {", .ofs_x = ", ofsX},  {", .ofs_y = ", ofsY}};
    char buf[160];
    char *p = buf;
    for (const auto &field : fields)
        p = putInt(putText(p, field.label), field.value);
    p = putText(p, "},/*(");
    QString &line = out.newLine();
    line += QLatin1String(buf, int(p - buf));
    addQuotedClose(line, quoted);
}

void writeCodeListLine(QString &out, uint code, const QString &quoted)
{
    char buf[32];
    char *p = putText(buf, "    0x");
    p = putHex4(p, code);
    p = putText(p, ",\t/*(");
    out += QLatin1String(buf, int(p - buf));
    addQuotedClose(out, quoted);
}

void appendCodeListLine(LineBuffer &out, uint code, const QString &quoted)
{
    writeCodeListLine(out.newLine(), code, quoted);
}

void writeFmtTxtBitmapBlock(QString &block, QChar ch, const QString &rows)
{
    block += QLatin1String("/* ");
    block += quotedChar(ch);
    block += QLatin1String(" */\n");
    block += rows;
    block += QLatin1String("\n\n");
}

FmtTxtSections::FmtTxtSections()
{
    bitmaps.append(QLatin1String("static const uint8_t glyph_bitmap[] = {"));
}

void FmtTxtSections::reserveFor(int glyphs, int lineHeight, int bpp)
{
    const qint64 rowChars = rowBytesFor(lineHeight, bpp) * 5 + lineHeight + 5;
    // Then the descriptors and the code list, up to about 130 characters a glyph.
    bitmaps.reserve(int(qMin<qint64>(qint64(glyphs) * (lineHeight * rowChars + 16 + 130), 1 << 25)));
    this->glyphs.reserve(size_t(glyphs));
}

void finishCompressedSections(CompressedGlyphs &glyphs, FmtTxtSections &sections, FmtTxtRangeCheck &ranges)
{
    glyphs.finish();
    for (int i = 0; i < glyphs.count(); ++i) {
        FmtTxtSections::Glyph &g = sections.glyphs[size_t(i)];
        g.bitmapIndex = glyphs.offset(i);
        ranges.addGlyph(g.bitmapIndex, g.advW, g.boxW, g.boxH, g.ofsX, g.ofsY);
    }
    glyphs.appendBlocks(sections.bitmaps);
    // A set of empty glyphs has no stream; C wants at least one element.
    if (glyphs.streamBytes() == 0)
        sections.bitmaps.append(QLatin1String("0x00,"));
}

void appendCompressedDecoder(LineBuffer &out, const ConversionRequest &request, const CompressedGlyphs &glyphs)
{
    const bool a8 = request.lvVer == kLvgl9;
    QString text = glyphs.decoderText(a8);
    // The streams lie in glyph order, so each ends where the next glyph's begins.
    text += QLatin1String("\n"
                "static uint32_t __user_font_stream_end(const lv_font_fmt_txt_glyph_dsc_t * gdsc) {\n"
                "    uint32_t end = (uint32_t)sizeof(glyph_bitmap);\n"
                "    if( gdsc + 1 < glyph_dsc + sizeof(glyph_dsc) / sizeof(glyph_dsc[0]) && gdsc[1].bitmap_index < end ) end = gdsc[1].bitmap_index;\n"
                "    return end;\n"
                "}\n");
    if (!a8) {
        text += QStringLiteral("\n"
                    "static const uint8_t * __user_font_glyph(const lv_font_fmt_txt_glyph_dsc_t * gdsc) {\n"
                    "    __user_font_unpack(glyph_bitmap, __user_font_stream_end(gdsc), gdsc->bitmap_index, gdsc->box_w, gdsc->box_h, glyph_unpacked, ((uint32_t)gdsc->box_w * %1u + 7u) / 8u);\n"
                    "    return glyph_unpacked;\n"
                    "}\n")
                    .arg(request.bpp);
    }
    out.append(text);
    out.appendEmptyLines(1);
}

QLatin1String glyphBitmapReturn(const ConversionRequest &request)
{
    return request.compress ? QLatin1String("return __user_font_glyph(gdsc);")
                            : QLatin1String("return &fdsc->glyph_bitmap[gdsc->bitmap_index];");
}

LineBuffer startFmtTxtFile(const ConversionRequest &request, const FmtTxtRangeCheck &ranges,
                           ConversionResult &result, FmtTxtSections &sections)
{
    LineBuffer opening;
    opening.append(buildFileHeader());
    opening.append(request.includeText);
    // Past the descriptor's ranges the C compiler would cut values silently; the guard
    // stops the build instead (it needs lv_conf.h, so after the include). The empty
    // line keeps its #if off an include text whose last line ends in a backslash.
    const QString guard = ranges.buildGuard(servesLvgl6(request));
    if (!guard.isEmpty()) {
        opening.append(QString());
        opening.append(guard);
        result.warnings << ranges.warning(servesLvgl6(request));
    }
    opening.appendEmptyLines(2);
    if (request.lvVer == kLvgl9)
        appendLvgl9VersionGuard(opening);

    sections.bitmaps.append(QLatin1String("};"));
    LineBuffer out = std::move(sections.bitmaps);
    out.reserve(out.content().size() + opening.content().size() + int(sections.glyphs.size()) * 130 + 8192);
    out.prepend(opening.content());
    out.appendEmptyLines(2);

    out.append(QLatin1String("static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {"));
    for (const FmtTxtSections::Glyph &g : sections.glyphs)
        appendGlyphDescriptorLine(out, g.bitmapIndex, g.advW, g.boxH, g.boxW, g.ofsX, g.ofsY, quotedChar(g.ch));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    out.append(QLatin1String("static const uint16_t unicode_list_1[] = {"));
    for (const FmtTxtSections::Glyph &g : sections.glyphs)
        appendCodeListLine(out, g.ch.unicode(), quotedChar(g.ch));
    out.append(QLatin1String("    0x0000,    /*End indicator*/"));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
    return out;
}

void appendFmtTxtCmap(LineBuffer &out, uint minCode, uint maxCode, int listLength)
{
    out.append(QLatin1String("static const lv_font_fmt_txt_cmap_t cmaps[] = {"));
    out.append(QLatin1String("    {"));
    out.append(QLatin1String("        .range_start = 0x") + hex4(minCode) + QLatin1Char(','));
    out.append(QLatin1String("        .range_length = 0x") + hex4(maxCode) + QLatin1Char(','));
    out.append(QLatin1String("        .glyph_id_start = 0,"));
    out.append(QLatin1String("        .unicode_list = unicode_list_1,"));
    out.append(QLatin1String("        .glyph_id_ofs_list = NULL,"));
    out.append(QLatin1String("        .list_length = ") + QString::number(listLength) + QLatin1Char(','));
    out.append(QLatin1String("        .type = LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,"));
    out.append(QLatin1String("    }"));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
}

namespace {

bool bppExceedsLvgl6Field(const ConversionRequest &request)
{
    return servesLvgl6(request) && request.bpp > 7;
}

} // namespace

QString lookupBppSource(const ConversionRequest &request)
{
    return bppExceedsLvgl6Field(request) ? QString::number(request.bpp) : QStringLiteral("fdsc->bpp");
}

void appendFontDscHead(LineBuffer &out, const ConversionRequest &request)
{
    const QString bppText = request.bppText.isEmpty() ? QString::number(request.bpp) : request.bppText;
    out.append(request.lvVer == kLvgl9 ? QLatin1String("static const lv_font_fmt_txt_dsc_t font_dsc = {")
                                       : QLatin1String("static lv_font_fmt_txt_dsc_t font_dsc = {"));
    out.append(QLatin1String("    .glyph_bitmap = glyph_bitmap,"));
    out.append(QLatin1String("    .glyph_dsc = glyph_dsc,"));
    out.append(QLatin1String("    .cmaps = cmaps,"));
    out.append(QLatin1String("    .kern_dsc = NULL,"));
    out.append(QLatin1String("    .kern_scale = 0,"));
    out.append(QLatin1String("    .cmap_num = 1,"));
    // LVGL 6 would store 8 in its 3 bits as 0; there the field stays unset and the
    // lookups report the depth themselves. LVGL 7 has room for it.
    const bool lvgl7Only = bppExceedsLvgl6Field(request);
    if (lvgl7Only)
        out.append(QLatin1String("#if LVGL_VERSION_MAJOR >= 7"));
    out.append(QLatin1String("    .bpp = ") + bppText + QLatin1Char(','));
    if (lvgl7Only)
        out.append(QLatin1String("#endif"));
    out.append(QLatin1String("    .kern_classes = 0,"));
}

void appendFmtTxtLvgl9Lookups(LineBuffer &out, const ConversionRequest &request,
                              std::initializer_list<const char *> search)
{
    appendFontDscHead(out, request);
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
    appendLvgl9GlyphHelpers(out, !request.compress);
    out.appendEach({
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {",
        "    (void)font; (void)unicode_letter_next;",
        "    if( unicode_letter<font_dsc.cmaps[0].range_start || unicode_letter>font_dsc.cmaps[0].range_length ) return false;",
        "",
    });
    out.appendEach(search);
    out.appendEach({
        "    const lv_font_fmt_txt_glyph_dsc_t * gdsc = &font_dsc.glyph_dsc[i];",
        "    __user_font_set_dsc(dsc_out, gdsc->adv_w, gdsc->box_w, gdsc->box_h, gdsc->ofs_x, gdsc->ofs_y, font_dsc.bpp, (uint32_t)i);",
        "    return true;",
        "}",
    });
    out.appendEmptyLines(2);
    out.appendEach({
        "static void __user_font_draw(uint32_t glyph_id, lv_draw_buf_t * draw_buf) {",
        "    const lv_font_fmt_txt_glyph_dsc_t * gdsc = &font_dsc.glyph_dsc[glyph_id];",
        request.compress
            ? "    __user_font_unpack(glyph_bitmap, __user_font_stream_end(gdsc), gdsc->bitmap_index, gdsc->box_w, gdsc->box_h, (uint8_t *)draw_buf->data, draw_buf->header.stride);"
            : "    __user_font_expand(&font_dsc.glyph_bitmap[gdsc->bitmap_index], gdsc->box_w, gdsc->box_h, font_dsc.bpp, draw_buf);",
        "}",
    });
    out.appendEmptyLines(2);
    appendLvgl9BitmapCallback(out);
}

void appendFmtTxtFontObject(LineBuffer &out, const ConversionRequest &request, int fontHeight)
{
    out.append(fontCommentLine(request.font));
    out.append(QStringLiteral("//字模高度：") + QString::number(fontHeight));
    out.append(QLatin1String("//") + request.typeText);
    out.append(request.sorted ? QStringLiteral("//使用排序和二分查表") : QStringLiteral("//未用排序和顺序查表"));
    appendFontObjectOpening(out, request.fontName);
    out.append(QLatin1String("    .get_glyph_dsc = __user_font_get_glyph_dsc,"));
    out.append(QLatin1String("    .get_glyph_bitmap = __user_font_get_bitmap,"));
    out.append(QLatin1String("    .line_height = ") + QString::number(fontHeight) + QLatin1Char(','));
    out.append(QLatin1String("    .base_line = 0,"));
    if (request.lvVer == kLvgl9)
        appendLvgl9StaticBitmapFlag(out);
    out.append(QLatin1String("    .dsc = &font_dsc,"));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
}

} // namespace qm
