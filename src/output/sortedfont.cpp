#include "output/generators.h"
#include "output/fmttxtfont.h"
#include "output/compressedglyphs.h"
#include "output/lvgltext.h"

#include "charset/charset.h"
#include "output/encoders.h"
#include "output/fmttxtlimits.h"
#include "output/linebuffer.h"
#include "output/rawpipeline.h"

#include <cstdio>

namespace qm {

namespace {

// The body of both lookup functions up to the found glyph: range check (returning
// `notFound`), the one-entry cache of the last letter, the binary search. LVGL 8 keeps
// the cache outside the constant descriptor.
void appendLookupHead(LineBuffer &out, bool lv8, QLatin1String notFound)
{
    out.append(QLatin1String("    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;"));
    out.append(QString());
    out.append(QLatin1String("    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return ")
               + notFound + QLatin1Char(';'));
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

void appendBinarySearch(LineBuffer &out)
{
    out.appendEach({
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
}

void appendCacheUpdate(LineBuffer &out, bool lv8)
{
    out.append(lv8 ? QLatin1String("        fdsc->cache->last_glyph_id = i;")
                   : QLatin1String("        fdsc->last_glyph_id = i;"));
    out.append(lv8 ? QLatin1String("        fdsc->cache->last_letter = unicode_letter;")
                   : QLatin1String("        fdsc->last_letter = unicode_letter;"));
}

} // namespace

ConversionResult generateSortedFont(const PreparedConversion &prepared, ConversionProgress &progress)
{
    const ConversionRequest &request = prepared.request;
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
    const bool lv9 = request.lvVer == kLvgl9;

    // A glyph's bitmap block stands alone, so it is made by whichever thread drew the
    // glyph; only the descriptor needs the running index.
    // Compressed, the drawing thread keeps the glyph's alpha values (`bytes`) instead of
    // making the rows; the streams are made once the set is complete.
    const bool compress = request.compress;
    RawGlyphPipeline pipeline(
        prepared, true,
        [compress](RawGlyphPipeline::Glyph &g) {
            if (!compress)
                writeFmtTxtBitmapBlock(g.block, g.glyph.ch, g.rows);
        },
        compress);
    const RawGlyphRenderer &renderer = pipeline.renderer();
    result.fontHeight = renderer.lineHeight();
    CompressedGlyphs compressed(bpp, StreamEnd::Known);
    if (compress) {
        compressed.setAlphaMask(request.bppMask);
        compressed.reserve(n, renderer.lineHeight());
    }

    FmtTxtSections sections;
    sections.reserveFor(n, renderer.lineHeight(), bpp);
    LineBuffer &bitmaps = sections.bitmaps;

    FmtTxtRangeCheck ranges;
    ranges.setLineHeight(result.fontHeight);
    int bitmapIndex = 0;
    int minCode = 0x10000;
    int maxCode = 0;
    int written = 0;

    progress.begin(n);
    for (int i = 0; i < n; ++i) {
        RawGlyphPipeline::Glyph &drawn = pipeline.next(i);
        const RawGlyph &glyph = drawn.glyph;
        if (!progress.step(i, glyph.ch, *glyph.font, glyph.advW, glyph.previewHeight)) {
            result.cancelled = true;
            break;
        }
        pipeline.finish(drawn);
        minCode = qMin(minCode, int(glyph.code));
        maxCode = qMax(maxCode, int(glyph.code));

        sections.addGlyph(bitmapIndex, glyph.advW, glyph.boxH, glyph.boxW, glyph.ofsX, glyph.ofsY, glyph.ch);
        if (compress) {
            compressed.addAlphaGlyph(glyph.ch, glyph.boxW, glyph.boxH, drawn.bytes, drawn.alphaWidth, drawn.alphaRows);
        } else {
            bitmaps.append(drawn.block);
            ranges.addGlyph(bitmapIndex, glyph.advW, glyph.boxW, glyph.boxH, glyph.ofsX, glyph.ofsY);
        }

        bitmapIndex += glyph.boxH * glyph.rowBytes;
        ++written;
    }
    progress.end();
    result.written = written;
    if (compress) {
        finishCompressedSections(compressed, sections, ranges);
        compressed.warnIfLargerThanPlain(result.warnings);
    }

    LineBuffer out = startFmtTxtFile(request, ranges, result, sections);
    appendFmtTxtCmap(out, minCode, maxCode, written);
    if (compress)
        appendCompressedDecoder(out, request, compressed);

    if (lv9) {
        appendBinarySearch(out);
        appendFmtTxtLvgl9Lookups(out, request, {
            "    int i = binsearch(font_dsc.cmaps[0].unicode_list, font_dsc.cmaps[0].list_length, (uint16_t)unicode_letter);",
            "    if( i == -1 ) return false;",
        });
        appendFmtTxtFontObject(out, request, result.fontHeight);
        result.text = out.takeContent();
        return result;
    }

    if (lv8) {
        out.append(QLatin1String("static lv_font_fmt_txt_glyph_cache_t glyph_cache;"));
        out.appendEmptyLines(2);
    }

    appendFontDscHead(out, request);
    if (lv8) {
        out.append(QString());
        out.append(QLatin1String("    .cache = &glyph_cache,"));
    }
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    appendBinarySearch(out);

    out.append(QLatin1String("static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {"));
    appendLookupHead(out, lv8, QLatin1String("NULL"));
    out.append(QLatin1String("        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];"));
    appendCacheUpdate(out, lv8);
    out.append(QLatin1String("        ") + glyphBitmapReturn(request));
    out.append(QLatin1String("    }"));
    out.append(QLatin1String("    return NULL;"));
    out.append(QLatin1String("}"));
    out.appendEmptyLines(2);

    out.append(QLatin1String("static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {"));
    out.append(QLatin1String("    (void)unicode_letter_next;"));
    appendLookupHead(out, lv8, QLatin1String("false"));
    out.append(QLatin1String("        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];"));
    appendCacheUpdate(out, lv8);
    appendGlyphDscCopy(out, 8, lookupBppSource(request), lv8);
    out.appendEach({
        "    }",
        "    return false;",
        "}",
    });
    out.appendEmptyLines(2);

    appendFmtTxtFontObject(out, request, result.fontHeight);

    result.text = out.takeContent();
    return result;
}

} // namespace qm
