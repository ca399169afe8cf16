#include "output/generators.h"
#include "output/fmttxtfont.h"
#include "output/compressedglyphs.h"
#include "output/lvgltext.h"

#include "output/encoders.h"
#include "output/fmttxtlimits.h"
#include "output/capturepipeline.h"
#include "output/linebuffer.h"

#include <algorithm>

namespace qm {

namespace {

// Both lookups trust last_letter/last_glyph_id without searching, so the initial pair
// must name a glyph of the written tables. Written with the 6.0 names of the cache
// fields; LVGL 8 reaches them through fdsc->cache.
const char *const kBitmapLookup[] = {
    "static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {",
    "    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;",
    "",
    "    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return NULL;",
    "",
    "    uint32_t i;",
    "    if( unicode_letter==fdsc->last_letter ){",
    "        i = fdsc->last_glyph_id;",
    "        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];",
    "        return &fdsc->glyph_bitmap[gdsc->bitmap_index];",
    "    }",
    "    for(i = 0; fdsc->cmaps[0].unicode_list[i] != 0; i++) {",
    "        if(fdsc->cmaps[0].unicode_list[i] == unicode_letter) {",
    "            fdsc->last_glyph_id = i;",
    "            fdsc->last_letter = unicode_letter;",
    "            const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];",
    "            return &fdsc->glyph_bitmap[gdsc->bitmap_index];",
    "        }",
    "    }",
    "    return NULL;",
    "}",
};

void appendDescriptorLookup(LineBuffer &out, const ConversionRequest &request, bool lvgl8)
{
    const QString bppSource = lookupBppSource(request);
    out.appendEach({
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {",
        "    (void)unicode_letter_next;",
        "    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;",
        "",
        "    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return false;",
        "",
        "    uint32_t i;",
        "    if( unicode_letter==fdsc->last_letter ){",
        "        i = fdsc->last_glyph_id;",
        "        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];",
    });
    appendGlyphDscCopy(out, 8, bppSource, lvgl8);
    out.appendEach({
        "    }",
        "    for(i = 0; fdsc->cmaps[0].unicode_list[i] != 0; i++) {",
        "        if(fdsc->cmaps[0].unicode_list[i] == unicode_letter) {",
        "            const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];",
        "            fdsc->last_glyph_id = i;",
        "            fdsc->last_letter = unicode_letter;",
    });
    appendGlyphDscCopy(out, 12, bppSource, lvgl8);
    out.appendEach({
        "        }",
        "    }",
        "    return false;",
        "}",
    });
}

} // namespace

ConversionResult generateUnsortedFont(const PreparedConversion &prepared, ConversionProgress &progress)
{
    const ConversionRequest &request = prepared.request;
    ConversionResult result;
    const QString &chars = request.chars;
    const int bpp = request.bpp;
    const int count = chars.size();
    const bool lvgl9 = request.lvVer == kLvgl9;

    // Compressed, the drawing thread reads the rows back into levels (`bytes`) and the
    // picture (`block`); the streams are made once the set is complete.
    const bool compress = request.compress;
    CapturePipeline pipeline(prepared, CapturePipeline::Encoding::CroppedText,
                             [compress, bpp](CapturedGlyph &g, const GlyphCapturer &capturer) {
                                 if (!compress) {
                                     writeFmtTxtBitmapBlock(g.block, g.glyph.ch, g.rows);
                                     return;
                                 }
                                 const GlyphCapturer::Box box =
                                     GlyphCapturer::croppedBox(g.glyph, g.crop, bpp, capturer.lineHeight());
                                 CompressedGlyphs::readRows(bpp, box.boxW, box.boxH, g.rows, g.bytes, g.block);
                             });
    const int fontHeight = pipeline.capturer().lineHeight();
    CompressedGlyphs compressed(bpp, StreamEnd::Known);
    if (compress)
        compressed.reserve(count, fontHeight);
    result.fontHeight = fontHeight;

    FmtTxtSections sections;
    sections.reserveFor(count, fontHeight, bpp);

    int bitmapIndex = 0;
    uint firstCode = 0x10000;
    uint lastCode = 0;
    FmtTxtRangeCheck limits;
    limits.setLineHeight(fontHeight);
    int written = 0;

    progress.begin(count);
    for (int i = 0; i < count; ++i) {
        CapturedGlyph &captured = pipeline.next(i);
        const GlyphCapturer::Glyph &glyph = captured.glyph;
        const QChar ch = glyph.ch;
        if (!progress.step(i, ch, *glyph.font, glyph.width, glyph.height)) {
            result.cancelled = true;
            break;
        }
        pipeline.finish(captured);
        const uint code = ch.unicode();
        firstCode = std::min(firstCode, code);
        lastCode = std::max(lastCode, code);

        const GlyphCapturer::Box box = GlyphCapturer::croppedBox(glyph, captured.crop, bpp, fontHeight);
        sections.addGlyph(bitmapIndex, box.advW, box.boxH, box.boxW, box.ofsX, box.ofsY, ch);
        if (compress) {
            compressed.addReadGlyph(ch, box.boxW, box.boxH, captured.bytes, captured.block);
        } else {
            sections.bitmaps.append(captured.block);
            limits.addGlyph(bitmapIndex, box.advW, box.boxW, box.boxH, box.ofsX, box.ofsY);
        }
        bitmapIndex += box.bitmapSize();
        ++written;
    }
    progress.end();
    result.written = written;

    // The first glyph written is glyph 0 of the tables, so the cache starts out naming a
    // pair that a search would also return. With nothing written the range test
    // (start 0x10000, last code 0) turns every letter away before the cache is read.
    const uint cacheLetter = written > 0 ? uint(chars.at(0).unicode()) : 0;
    const int cacheGlyphId = 0;

    if (compress) {
        finishCompressedSections(compressed, sections, limits);
        compressed.warnIfLargerThanPlain(result.warnings);
    }
    LineBuffer out = startFmtTxtFile(request, limits, result, sections);
    appendFmtTxtCmap(out, firstCode, lastCode, written);
    if (compress)
        appendCompressedDecoder(out, request, compressed);

    if (lvgl9) {
        // No lookup cache: the bitmap callback reads the glyph id from the descriptor,
        // so the descriptor stays constant data.
        appendFmtTxtLvgl9Lookups(out, request, {
            "    uint32_t i = 0;",
            "    while( font_dsc.cmaps[0].unicode_list[i] != 0 && font_dsc.cmaps[0].unicode_list[i] != unicode_letter ) i++;",
            "    if( font_dsc.cmaps[0].unicode_list[i] == 0 ) return false;",
        });
        appendFmtTxtFontObject(out, request, fontHeight);
        result.text = out.takeContent();
        return result;
    }

    // LVGL 8 moved the lookup cache out of the font descriptor into a glyph cache of
    // its own; the 6.0 text would not compile there.
    const bool lvgl8 = request.lvVer == 2;
    if (lvgl8) {
        out.append(QLatin1String("static lv_font_fmt_txt_glyph_cache_t glyph_cache = {"));
        out.append(QLatin1String("    .last_letter = 0x") + hex4(cacheLetter) + QLatin1Char(','));
        out.append(QLatin1String("    .last_glyph_id = ") + QString::number(cacheGlyphId) + QLatin1Char(','));
        out.append(QLatin1String("};"));
        out.appendEmptyLines(2);
    }

    appendFontDscHead(out, request);
    out.append(QString());
    if (lvgl8) {
        out.append(QLatin1String("    .cache = &glyph_cache,"));
    } else {
        out.append(QLatin1String("    .last_letter = 0x") + hex4(cacheLetter) + QLatin1Char(','));
        out.append(QLatin1String("    .last_glyph_id = ") + QString::number(cacheGlyphId) + QLatin1Char(','));
    }
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);

    LineBuffer lookups;
    lookups.appendEach(kBitmapLookup);
    lookups.appendEmptyLines(2);
    appendDescriptorLookup(lookups, request, lvgl8);
    lookups.appendEmptyLines(2);
    QString text = lookups.takeContent();
    if (lvgl8)
        text.replace(QLatin1String("fdsc->last_"), QLatin1String("fdsc->cache->last_"));
    if (request.compress)
        text.replace(QLatin1String("return &fdsc->glyph_bitmap[gdsc->bitmap_index];"), glyphBitmapReturn(request));
    out.append(text);
    appendFmtTxtFontObject(out, request, fontHeight);

    result.text = out.takeContent();
    return result;
}

} // namespace qm
