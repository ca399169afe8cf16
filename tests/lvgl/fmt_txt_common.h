/* A small stand-in for the parts of LVGL 6.x and 8.x that generated fonts use, so tests
 * can compile and call them. Field layouts follow LVGL's lv_font.h and lv_font_fmt_txt.h;
 * include it through v6/lvgl.h or v8/lvgl.h, which set LVGL_VERSION_MAJOR. */
#ifndef QM_TEST_LVGL_FMT_TXT_H
#define QM_TEST_LVGL_FMT_TXT_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

struct _lv_font_struct;

typedef struct {
    uint16_t adv_w;
    uint8_t box_w;
    uint8_t box_h;
    int8_t ofs_x;
    int8_t ofs_y;
    uint8_t bpp;
} lv_font_glyph_dsc_t;

typedef struct _lv_font_struct {
    bool (*get_glyph_dsc)(const struct _lv_font_struct *, lv_font_glyph_dsc_t *, uint32_t letter,
                          uint32_t letter_next);
    const uint8_t *(*get_glyph_bitmap)(const struct _lv_font_struct *, uint32_t);
    uint8_t line_height;
    uint8_t base_line;
    void *dsc;
} lv_font_t;

#ifndef LV_FONT_FMT_TXT_LARGE
#define LV_FONT_FMT_TXT_LARGE 0
#endif

typedef struct {
#if LV_FONT_FMT_TXT_LARGE == 0
    uint32_t bitmap_index : 20;
    uint32_t adv_w : 12;
    uint8_t box_w;
    uint8_t box_h;
    int8_t ofs_x;
    int8_t ofs_y;
#else
    uint32_t bitmap_index;
    uint32_t adv_w;
    uint16_t box_w;
    uint16_t box_h;
    int16_t ofs_x;
    int16_t ofs_y;
#endif
} lv_font_fmt_txt_glyph_dsc_t;

typedef enum {
    LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY,
    LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL,
    LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,
    LV_FONT_FMT_TXT_CMAP_SPARSE_FULL,
} lv_font_fmt_txt_cmap_type_t;

typedef struct {
    uint32_t range_start;
    uint16_t range_length;
    uint16_t glyph_id_start;
    const uint16_t *unicode_list;
    const void *glyph_id_ofs_list;
    uint16_t list_length;
    lv_font_fmt_txt_cmap_type_t type;
} lv_font_fmt_txt_cmap_t;

#if LVGL_VERSION_MAJOR >= 8
typedef struct {
    uint32_t last_letter;
    uint32_t last_glyph_id;
} lv_font_fmt_txt_glyph_cache_t;
#endif

typedef struct {
    const uint8_t *glyph_bitmap;
    const lv_font_fmt_txt_glyph_dsc_t *glyph_dsc;
    const lv_font_fmt_txt_cmap_t *cmaps;
    const void *kern_dsc;
    uint16_t kern_scale;
    uint16_t cmap_num : 10;
    uint16_t bpp : 4;
    uint16_t kern_classes : 1;
    uint16_t bitmap_format : 2;
#if LVGL_VERSION_MAJOR >= 8
    /* a one-entry cache of the last lookup, kept outside the constant data */
    lv_font_fmt_txt_glyph_cache_t *cache;
#else
    /* a one-entry cache of the last lookup */
    uint32_t last_letter;
    uint32_t last_glyph_id;
#endif
} lv_font_fmt_txt_dsc_t;

#endif
