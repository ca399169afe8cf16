/* A small stand-in for the parts of LVGL 6.1 to 8.3 that generated fonts use, so tests
 * can compile and call them. Types, field widths and field order follow LVGL's
 * lv_font.h and lv_font_fmt_txt.h of each generation; include it through one of the
 * lvgl.h files beside it, which set LVGL_VERSION_MAJOR and LVGL_VERSION_MINOR as
 * LVGL's own lvgl.h does. */
#ifndef QM_TEST_LVGL_FMT_TXT_H
#define QM_TEST_LVGL_FMT_TXT_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QM_LVGL_AT_LEAST(major, minor) \
    (LVGL_VERSION_MAJOR > (major) || (LVGL_VERSION_MAJOR == (major) && LVGL_VERSION_MINOR >= (minor)))

typedef int16_t lv_coord_t;

#if LVGL_VERSION_MAJOR >= 8
struct _lv_font_t;
#define QM_LV_FONT_STRUCT _lv_font_t
#else
struct _lv_font_struct;
#define QM_LV_FONT_STRUCT _lv_font_struct
#endif

typedef struct {
#if QM_LVGL_AT_LEAST(8, 2)
    const struct QM_LV_FONT_STRUCT *resolved_font;
#endif
#if LVGL_VERSION_MAJOR == 6
    uint16_t adv_w;
    uint8_t box_w;
    uint8_t box_h;
    int8_t ofs_x;
    int8_t ofs_y;
#else
    uint16_t adv_w;
    uint16_t box_w;
    uint16_t box_h;
    int16_t ofs_x;
    int16_t ofs_y;
#endif
#if QM_LVGL_AT_LEAST(8, 2)
    uint8_t bpp : 4;
    uint8_t is_placeholder : 1;
#else
    uint8_t bpp;
#endif
} lv_font_glyph_dsc_t;

typedef struct QM_LV_FONT_STRUCT {
    bool (*get_glyph_dsc)(const struct QM_LV_FONT_STRUCT *, lv_font_glyph_dsc_t *, uint32_t letter,
                          uint32_t letter_next);
    const uint8_t *(*get_glyph_bitmap)(const struct QM_LV_FONT_STRUCT *, uint32_t);
#if LVGL_VERSION_MAJOR == 6
    uint8_t line_height;
    int8_t base_line;
    uint8_t subpx : 2;
    void *dsc;
#else
    lv_coord_t line_height;
    lv_coord_t base_line;
    uint8_t subpx : 2;
    int8_t underline_position;
    int8_t underline_thickness;
#if LVGL_VERSION_MAJOR >= 8
    const void *dsc;
#else
    void *dsc;
#endif
#endif
#if QM_LVGL_AT_LEAST(8, 2)
    const struct QM_LV_FONT_STRUCT *fallback;
#endif
} lv_font_t;

#if LVGL_VERSION_MAJOR >= 8
#define LV_FONT_DECLARE(font_name) extern const lv_font_t font_name;
#else
#define LV_FONT_DECLARE(font_name) extern lv_font_t font_name;
#endif

typedef enum {
    LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY,
    LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL,
    LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,
    LV_FONT_FMT_TXT_CMAP_SPARSE_FULL,
} lv_font_fmt_txt_cmap_type_t;

#include "fmt_txt_tables.h"

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
#if LVGL_VERSION_MAJOR == 6
    uint16_t cmap_num : 10;
    uint16_t bpp : 3;
#else
    uint16_t cmap_num : 9;
    uint16_t bpp : 4;
#endif
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

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
