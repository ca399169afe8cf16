#pragma once

// Pieces of text that both lv_font_fmt_txt generators (sorted and unsorted) write
// alike, and the per-glyph lines the LVGL 5.3 font shares with them.

#include "output/linebuffer.h"
#include "request/request.h"

#include <vector>

namespace qm {

class CompressedGlyphs;
class FmtTxtRangeCheck;

// At least four lower-case hexadecimal digits ("%04x").
QString hex4(uint value);
// The character as the comments quote it. A lone surrogate has no UTF-8 form; it is
// shown as the UTF-8 encoder writes it, so the pane and a saved file agree.
QString quotedChar(QChar ch);

// "    {.bitmap_index = ...},/*(ch)*/", the designators in the struct's order (C++ wants
// them so): box_w before box_h.
void appendGlyphDescriptorLine(LineBuffer &out, int bitmapIndex, int advW, int boxH, int boxW,
                               int ofsX, int ofsY, const QString &quoted);
// "    0x%04x,\t/*(ch)*/", as a line of its own or added to the end of `out`.
void appendCodeListLine(LineBuffer &out, uint code, const QString &quoted);
void writeCodeListLine(QString &out, uint code, const QString &quoted);
// A glyph's bitmap block ("/* ch */", the rows, two empty lines) added to `block`.
void writeFmtTxtBitmapBlock(QString &block, QChar ch, const QString &rows);

// The glyph sections of an lv_font_fmt_txt font. The bitmaps are text from the start;
// each glyph's descriptor and code-list entry are kept as numbers and written straight
// into the file after the bitmaps: held as text of their own until then, they would
// only be copied once more.
struct FmtTxtSections {
    FmtTxtSections();
    // Room for `glyphs` glyphs as tall and wide as the line, so that big sets do not
    // spend their time regrowing and copying the sections.
    void reserveFor(int glyphs, int lineHeight, int bpp);
    void addGlyph(int bitmapIndex, int advW, int boxH, int boxW, int ofsX, int ofsY, QChar ch)
    {
        glyphs.push_back({bitmapIndex, advW, boxH, boxW, ofsX, ofsY, ch});
    }

    struct Glyph {
        int bitmapIndex, advW, boxH, boxW, ofsX, ofsY;
        QChar ch;
    };
    LineBuffer bitmaps;
    std::vector<Glyph> glyphs;
};

// The 6.0 text, which LVGL 6 and LVGL 7 compile (LVGL 8 moved the lookup cache).
inline bool servesLvgl6(const ConversionRequest &request)
{
    return request.lvVer == 1;
}

// What the lookups copy into dsc_out->bpp: the descriptor's field, or the depth itself
// where LVGL 6 cannot hold it (its bpp field has 3 bits, too few for 8).
QString lookupBppSource(const ConversionRequest &request);

// A compressed set: once every glyph was added to `glyphs`, the streams are made and
// the glyph blocks, offsets and range checks enter the sections (whose descriptors were
// added with any bitmap index).
void finishCompressedSections(CompressedGlyphs &glyphs, FmtTxtSections &sections, FmtTxtRangeCheck &ranges);
// The model tables and the decoder; for LVGL 6 and 8 also the buffer a glyph is unpacked
// into and __user_font_glyph(gdsc), which unpacks it there and returns the buffer.
void appendCompressedDecoder(LineBuffer &out, const ConversionRequest &request, const CompressedGlyphs &glyphs);
// The bitmap callbacks' return of a glyph's bitmap, plain or compressed.
QLatin1String glyphBitmapReturn(const ConversionRequest &request);

// The file up to the character map: the file header, the include text, a build guard
// after an empty line when a value overflows (with its warning added to `result`), two
// empty lines, then the three sections (bitmaps, descriptors, code list), closed, each
// followed by two empty lines. The bitmaps, by far the largest, become the file's buffer
// rather than being copied.
LineBuffer startFmtTxtFile(const ConversionRequest &request, const FmtTxtRangeCheck &ranges,
                           ConversionResult &result, FmtTxtSections &sections);
// The one sparse character map; range_length holds the largest code, as the emitted
// lookups compare against it.
void appendFmtTxtCmap(LineBuffer &out, uint minCode, uint maxCode, int listLength);
// "static lv_font_fmt_txt_dsc_t font_dsc = {" through ".kern_classes", in the struct's
// order; for LVGL 9, whose lookups write no cache into it, "static const".
void appendFontDscHead(LineBuffer &out, const ConversionRequest &request);
// LVGL 9: the font descriptor, the glyph helpers, the descriptor callback around
// `search` (lines that leave the glyph id of unicode_letter in i or return false) and
// the bitmap callback.
void appendFmtTxtLvgl9Lookups(LineBuffer &out, const ConversionRequest &request,
                              std::initializer_list<const char *> search);
// The closing comments (font, height, output kind, lookup kind) and the lv_font_t.
void appendFmtTxtFontObject(LineBuffer &out, const ConversionRequest &request, int fontHeight);

} // namespace qm
