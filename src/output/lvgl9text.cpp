#include "output/lvgl9text.h"

namespace qm {

void appendLvgl9VersionGuard(LineBuffer &out)
{
    out.appendEach({
        "#if !defined(LVGL_VERSION_MAJOR) || LVGL_VERSION_MAJOR != 9",
        "#error \"This font is for LVGL 9.x: include LVGL 9's lvgl.h before it, or convert it again for your LVGL version.\"",
        "#endif",
    });
    out.appendEmptyLines(2);
}

void appendLvgl9GlyphHelpers(LineBuffer &out, bool withExpand)
{
    out.appendEach({
        "/* Every field the font owns is set: before 9.3 LVGL hands in an uninitialised descriptor. */",
        "static void __user_font_set_dsc(lv_font_glyph_dsc_t * dsc_out, uint32_t adv_w, uint32_t box_w, uint32_t box_h, int32_t ofs_x, int32_t ofs_y, uint32_t bpp, uint32_t glyph_id) {",
        "    dsc_out->adv_w = (uint16_t)adv_w;",
        "    dsc_out->box_w = (uint16_t)box_w;",
        "    dsc_out->box_h = (uint16_t)box_h;",
        "    dsc_out->ofs_x = (int16_t)ofs_x;",
        "    dsc_out->ofs_y = (int16_t)ofs_y;",
        "#if LVGL_VERSION_MINOR >= 3",
        "    dsc_out->stride = 0;",
        "#endif",
        "#if LVGL_VERSION_MINOR >= 1",
        "    dsc_out->format = (lv_font_glyph_format_t)bpp;",
        "#else",
        "    dsc_out->bpp = (uint8_t)bpp;",
        "#endif",
        "    dsc_out->is_placeholder = 0;",
        "#if LVGL_VERSION_MINOR >= 2",
        "    dsc_out->gid.index = glyph_id;",
        "#else",
        "    dsc_out->glyph_index = glyph_id;",
        "#endif",
        "    dsc_out->entry = NULL;",
        "}",
    });
    out.appendEmptyLines(2);
    if (!withExpand)
        return;
    out.appendEach({
        "/* LVGL 9 draws the glyph from its A8 draw buffer: one byte of alpha a pixel, rows",
        " * header.stride bytes apart, whatever depth the font keeps. */",
        "static void __user_font_expand(const uint8_t * src, uint32_t box_w, uint32_t box_h, uint32_t bpp, lv_draw_buf_t * draw_buf) {",
        "    uint8_t * dst = (uint8_t *)draw_buf->data;",
        "    uint32_t row_bytes = (box_w * bpp + 7) / 8;",
        "    uint32_t mask = (1u << bpp) - 1;",
        "    uint32_t x, y;",
        "    for(y = 0; y < box_h; y++) {",
        "        for(x = 0; x < box_w; x++) {",
        "            uint32_t bit = x * bpp;",
        "            uint32_t level = ((uint32_t)src[bit / 8] >> (8 - bpp - bit % 8)) & mask;",
        "            dst[x] = (uint8_t)(level * 255 / mask);",
        "        }",
        "        src += row_bytes;",
        "        dst += draw_buf->header.stride;",
        "    }",
        "}",
    });
    out.appendEmptyLines(2);
}

void appendLvgl9BitmapCallback(LineBuffer &out)
{
    out.appendEach({
        "/* 9.0 and 9.1 also pass the letter; the glyph id the descriptor carries serves every",
        " * minor. LVGL asks without a buffer only for fonts that declare static bitmaps. */",
        "#if LVGL_VERSION_MINOR >= 2",
        "static const void * __user_font_get_bitmap(lv_font_glyph_dsc_t * dsc, lv_draw_buf_t * draw_buf) {",
        "    if( draw_buf == NULL ) return NULL;",
        "    __user_font_draw(dsc->gid.index, draw_buf);",
        "    return draw_buf;",
        "}",
        "#else",
        "static const void * __user_font_get_bitmap(lv_font_glyph_dsc_t * dsc, uint32_t unicode_letter, lv_draw_buf_t * draw_buf) {",
        "    (void)unicode_letter;",
        "    if( draw_buf == NULL ) return NULL;",
        "    __user_font_draw(dsc->glyph_index, draw_buf);",
        "    return draw_buf;",
        "}",
        "#endif",
    });
    out.appendEmptyLines(2);
}

void appendLvgl9StaticBitmapFlag(LineBuffer &out)
{
    out.append(QLatin1String("#if LVGL_VERSION_MINOR >= 3"));
    out.append(QLatin1String("    .static_bitmap = 0,"));
    out.append(QLatin1String("#endif"));
}

} // namespace qm
