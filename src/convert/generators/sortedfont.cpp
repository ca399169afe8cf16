#include "generators.h"

#include "convert/charset.h"
#include "convert/encoders.h"
#include "convert/fmttxtlimits.h"
#include "convert/linebuffer.h"
#include "convert/rawrender.h"

#include <cstdio>

namespace qm {

namespace {

// The character as its comments quote it. A lone surrogate has no UTF-8 form; it is
// shown as the UTF-8 encoder writes it, so the pane and a saved file agree.
QString quotedChar(QChar ch)
{
    if (ch.isSurrogate())
        return QString::fromUtf8(QString(ch).toUtf8());
    return QString(ch);
}

void appendDescriptorLine(LineBuffer &out, int bitmapIndex, const RawGlyph &g, const QString &quoted)
{
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "    {.bitmap_index = %d,\t.adv_w = %d, .box_h = %d, .box_w = %d, .ofs_x = %d, .ofs_y = %d},/*(",
                  bitmapIndex, g.advW, g.boxH, g.boxW, g.ofsX, g.ofsY);
    out.append(QLatin1String(buf) + quoted + QLatin1String(")*/"));
}

void appendCodeLine(LineBuffer &out, int code, const QString &quoted)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "    0x%04x,\t/*(", code);
    out.append(QLatin1String(buf) + quoted + QLatin1String(")*/"));
}

QString hex4(int value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x", value);
    return QString::fromLatin1(buf);
}

void appendLines(LineBuffer &out, std::initializer_list<const char *> lines)
{
    for (const char *line : lines)
        out.append(QString::fromUtf8(line));
}

// The body of both lookup functions up to the found glyph: range check, the one-entry
// cache of the last letter, the binary search. LVGL 8 keeps the cache outside the
// constant descriptor.
void appendLookupHead(LineBuffer &out, bool lv8)
{
    out.append(QLatin1String("    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;"));
    out.append(QString());
    out.append(QLatin1String("    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return false;"));
    out.append(QString());
    out.append(QLatin1String("    int i;"));
    out.append(lv8 ? QLatin1String("    if( unicode_letter==fdsc->cache->last_letter ){")
                   : QLatin1String("    if( unicode_letter==fdsc->last_letter ){"));
    out.append(lv8 ? QLatin1String("        i = fdsc->cache->last_glyph_id;")
                   : QLatin1String("        i = fdsc->last_glyph_id;"));
    out.append(QLatin1String("    }"));
    out.append(QLatin1String("    else{"));
    out.append(QLatin1String("        i = binsearch(fdsc->cmaps[0].unicode_list, fdsc->cmaps[0].list_length, unicode_letter);"));
    out.append(QLatin1String("    }"));
    out.append(QLatin1String("    if( i != -1 ) {"));
}

void appendCacheUpdate(LineBuffer &out, bool lv8)
{
    out.append(lv8 ? QLatin1String("        fdsc->cache->last_glyph_id = i;")
                   : QLatin1String("        fdsc->last_glyph_id = i;"));
    out.append(lv8 ? QLatin1String("        fdsc->cache->last_letter = unicode_letter;")
                   : QLatin1String("        fdsc->last_letter = unicode_letter;"));
}

} // namespace

ConversionResult generateSortedFont(const ConversionRequest &request, ConversionProgress &progress)
{
    ConversionResult result;
    if (bppMask(request.bpp) == 0) {
        result.ok = false;
        result.error = QStringLiteral("bpp must be 1, 2, 4 or 8, not %1").arg(request.bpp);
        return result;
    }
    const QString &chars = request.chars;
    const int n = chars.size();
    const int bpp = request.bpp;
    const bool lv8 = request.lvVer == 2;

    RawGlyphRenderer renderer(chars, request.font, request.iconFont, request.iconText, bpp);
    result.fontHeight = renderer.lineHeight();

    LineBuffer bitmaps;
    LineBuffer descriptors;
    LineBuffer codes;
    // Sized from a glyph as tall and wide as the line, so that big sets do not
    // spend their time regrowing and copying the sections.
    const int lineRowChars = rowBytesFor(renderer.lineHeight(), bpp) * 5 + renderer.lineHeight() + 5;
    bitmaps.reserve(qMin<qint64>(qint64(n) * (renderer.lineHeight() * lineRowChars + 16), 1 << 25));
    descriptors.reserve(n * 110);
    codes.reserve(n * 24);
    bitmaps.append(QLatin1String("static const uint8_t glyph_bitmap[] = {"));
    descriptors.append(QLatin1String("static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {"));
    codes.append(QLatin1String("static const uint16_t unicode_list_1[] = {"));

    FmtTxtRangeCheck ranges;
    int bitmapIndex = 0;
    int minCode = 0x10000;
    int maxCode = 0;
    int written = 0;

    progress.begin(n);
    for (int i = 0; i < n; ++i) {
        RawGlyph glyph = renderer.measure(i);
        if (!progress.step(i, glyph.ch, *glyph.font, glyph.advW, glyph.previewHeight)) {
            result.cancelled = true;
            break;
        }
        minCode = qMin(minCode, int(glyph.code));
        maxCode = qMax(maxCode, int(glyph.code));
        renderer.draw(glyph);

        const QString quoted = quotedChar(glyph.ch);
        bitmaps.append(QLatin1String("/* ") + quoted + QLatin1String(" */"));
        bitmaps.append(encodeAlphaRows(glyph.alpha, bpp, request.bppMask));
        bitmaps.appendEmptyLines(2);

        appendDescriptorLine(descriptors, bitmapIndex, glyph, quoted);
        appendCodeLine(codes, glyph.code, quoted);
        ranges.addGlyph(bitmapIndex, glyph.advW, glyph.boxW, glyph.boxH, glyph.ofsX, glyph.ofsY);

        bitmapIndex += glyph.boxH * glyph.rowBytes;
        ++written;
    }
    progress.end();
    result.written = written;

    bitmaps.append(QLatin1String("};"));
    descriptors.append(QLatin1String("};"));
    codes.append(QLatin1String("    0x0000,    /*End indicator*/"));
    codes.append(QLatin1String("};"));

    LineBuffer out;
    out.reserve(bitmaps.content().size() + descriptors.content().size() + codes.content().size() + 8192);
    out.append(buildFileHeader());
    out.append(request.includeText);
    const QString guard = ranges.buildGuard();
    if (!guard.isEmpty()) {
        out.append(guard);
        result.warnings << ranges.warning();
    }
    out.appendEmptyLines(2);

    out.append(bitmaps.takeContent());
    out.appendEmptyLines(2);
    out.append(descriptors.takeContent());
    out.appendEmptyLines(2);
    out.append(codes.takeContent());
    out.appendEmptyLines(2);

    out.append(QLatin1String("static const lv_font_fmt_txt_cmap_t cmaps[] = {"));
    out.append(QLatin1String("    {"));
    out.append(QLatin1String("        .range_start = ") + hex4(minCode) + QLatin1Char(','));
    // Holds the largest code, not a count: the lookups below compare against it.
    out.append(QLatin1String("        .range_length = ") + hex4(maxCode) + QLatin1Char(','));
    out.append(QLatin1String("        .type = LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,"));
    out.append(QLatin1String("        .glyph_id_start = 0,"));
    out.append(QLatin1String("        .unicode_list = unicode_list_1,"));
    out.append(QLatin1String("        .glyph_id_ofs_list = NULL,"));
    out.append(QLatin1String("        .list_length = ") + QString::number(written) + QLatin1Char(','));
    out.append(QLatin1String("    }"));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    if (lv8) {
        out.append(QLatin1String("static lv_font_fmt_txt_glyph_cache_t glyph_cache;"));
        out.appendEmptyLines(2);
    }

    out.append(QLatin1String("static lv_font_fmt_txt_dsc_t font_dsc = {"));
    out.append(QLatin1String("    .glyph_bitmap = glyph_bitmap,"));
    out.append(QLatin1String("    .glyph_dsc = glyph_dsc,"));
    out.append(QLatin1String("    .cmaps = cmaps,"));
    out.append(QLatin1String("    .cmap_num = 1,"));
    const QString bppText = request.bppText.isEmpty() ? QString::number(bpp) : request.bppText;
    out.append(QLatin1String("    .bpp = ") + bppText + QLatin1Char(','));
    out.append(QString());
    out.append(QLatin1String("    .kern_scale = 0,"));
    out.append(QLatin1String("    .kern_dsc = NULL,"));
    out.append(QLatin1String("    .kern_classes = 0,"));
    if (lv8) {
        out.append(QString());
        out.append(QLatin1String("    .cache = &glyph_cache,"));
    }
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    appendLines(out, {
        "static int binsearch(const uint16_t *sortedSeq, int seqLength, uint16_t keyData) {",
        "    int low = 0, mid, high = seqLength - 1;",
        "    while (low <= high) {",
        "        mid = (low + high)>>1;//右移1位等于是/2，奇数，无论奇偶，有个值就行",
        "        if (keyData < sortedSeq[mid]) {",
        "            high = mid - 1;//是mid-1，因为mid已经比较过了",
        "        }",
        "        else if (keyData > sortedSeq[mid]) {",
        "            low = mid + 1;",
        "        }",
        "        else {",
        "            return mid;",
        "        }",
        "    }",
        "    return -1;",
        "}",
    });
    out.appendEmptyLines(2);

    out.append(QLatin1String("static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {"));
    appendLookupHead(out, lv8);
    out.append(QLatin1String("        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];"));
    appendCacheUpdate(out, lv8);
    out.append(QLatin1String("        return &fdsc->glyph_bitmap[gdsc->bitmap_index];"));
    out.append(QLatin1String("    }"));
    out.append(QLatin1String("    return NULL;"));
    out.append(QLatin1String("}"));
    out.appendEmptyLines(2);

    out.append(QLatin1String("static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {"));
    appendLookupHead(out, lv8);
    out.append(QLatin1String("        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];"));
    appendCacheUpdate(out, lv8);
    appendLines(out, {
        "        dsc_out->adv_w = gdsc->adv_w;",
        "        dsc_out->box_h = gdsc->box_h;",
        "        dsc_out->box_w = gdsc->box_w;",
        "        dsc_out->ofs_x = gdsc->ofs_x;",
        "        dsc_out->ofs_y = gdsc->ofs_y;",
        "        dsc_out->bpp   = fdsc->bpp;",
        "        return true;",
        "    }",
        "    return false;",
        "}",
    });
    out.appendEmptyLines(2);

    out.append(fontCommentLine(request.font));
    out.append(QStringLiteral("//字模高度：") + QString::number(result.fontHeight));
    out.append(QLatin1String("//") + request.typeText);
    out.append(request.sorted ? QStringLiteral("//使用排序和二分查表") : QStringLiteral("//未用排序和顺序查表"));

    out.append(QLatin1String("const lv_font_t ") + request.fontName + QLatin1String(" = {"));
    out.append(QLatin1String("    .dsc = &font_dsc,"));
    out.append(QLatin1String("    .get_glyph_bitmap = __user_font_get_bitmap,"));
    out.append(QLatin1String("    .get_glyph_dsc = __user_font_get_glyph_dsc,"));
    out.append(QLatin1String("    .line_height = ") + QString::number(result.fontHeight) + QLatin1Char(','));
    out.append(QLatin1String("    .base_line = 0,"));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    result.text = out.takeContent();
    return result;
}

} // namespace qm
