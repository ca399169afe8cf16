/* A small stand-in for the parts of LVGL 9.x that generated fonts use, so tests can
 * compile and call them as C and as C++. Field layouts follow LVGL 9's lv_font.h,
 * lv_font_fmt_txt.h and lv_draw_buf.h, in their declaration order; include it through
 * v9.<minor>/lvgl.h, which sets the version macros. 9.3 stands for 9.3 to 9.5, whose
 * declarations these fonts use are alike. */
#ifndef QM_TEST_LVGL9_H
#define QM_TEST_LVGL9_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#define LV_VERSION_CHECK(x, y, z) \
    (x == LVGL_VERSION_MAJOR && (y < LVGL_VERSION_MINOR || (y == LVGL_VERSION_MINOR && z <= LVGL_VERSION_PATCH)))

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lv_font_t lv_font_t;
typedef struct lv_cache_entry_t lv_cache_entry_t;

/* The little-endian image header at the front of every draw buffer. */
typedef struct {
    uint32_t magic : 8;
    uint32_t cf : 8;
    uint32_t flags : 16;
    uint32_t w : 16;
    uint32_t h : 16;
    uint32_t stride : 16;     /* bytes from one row to the next */
    uint32_t reserved_2 : 16;
} lv_image_header_t;

typedef struct lv_draw_buf_handlers_t lv_draw_buf_handlers_t;

typedef struct {
    lv_image_header_t header;
    uint32_t data_size;
#if LVGL_VERSION_MINOR == 0
    void * data;              /* 9.0 keeps the pixels behind an untyped pointer */
#else
    uint8_t * data;
#endif
    void * unaligned_data;
#if LVGL_VERSION_MINOR >= 2
    const lv_draw_buf_handlers_t * handlers;
#endif
} lv_draw_buf_t;

#if LVGL_VERSION_MINOR >= 1
/* An enum type from 9.2; in 9.1 a uint8_t holding one of these values. */
#if LVGL_VERSION_MINOR >= 2
typedef enum {
#else
enum _lv_font_glyph_format_t {
#endif
    LV_FONT_GLYPH_FORMAT_NONE = 0,
    LV_FONT_GLYPH_FORMAT_A1 = 0x01,
    LV_FONT_GLYPH_FORMAT_A2 = 0x02,
#if LVGL_VERSION_MINOR >= 3
    LV_FONT_GLYPH_FORMAT_A3 = 0x03,
#endif
    LV_FONT_GLYPH_FORMAT_A4 = 0x04,
    LV_FONT_GLYPH_FORMAT_A8 = 0x08,
#if LVGL_VERSION_MINOR >= 3
    LV_FONT_GLYPH_FORMAT_IMAGE = 0x19,
    LV_FONT_GLYPH_FORMAT_VECTOR = 0x1A,
    LV_FONT_GLYPH_FORMAT_SVG = 0x1B,
#else
    LV_FONT_GLYPH_FORMAT_IMAGE = 0x09,
    LV_FONT_GLYPH_FORMAT_VECTOR = 0x0A,
    LV_FONT_GLYPH_FORMAT_SVG = 0x0B,
#endif
    LV_FONT_GLYPH_FORMAT_CUSTOM = 0xFF,
#if LVGL_VERSION_MINOR >= 2
} lv_font_glyph_format_t;
#else
};
typedef uint8_t lv_font_glyph_format_t;
#endif
#endif

typedef struct {
    const lv_font_t * resolved_font;   /* set by LVGL once a font has the glyph */
    uint16_t adv_w;
    uint16_t box_w;
    uint16_t box_h;
    int16_t ofs_x;
    int16_t ofs_y;
#if LVGL_VERSION_MINOR >= 3
    uint16_t stride;                   /* bytes of a stored row; 0: rows are not padded */
#endif
#if LVGL_VERSION_MINOR >= 1
    lv_font_glyph_format_t format;
#else
    uint8_t bpp : 4;
#endif
    uint8_t is_placeholder : 1;
#if LVGL_VERSION_MINOR >= 3
    uint8_t req_raw_bitmap : 1;        /* the caller's: raw data instead of the A8 buffer */
    int32_t outline_stroke_width;
#endif
#if LVGL_VERSION_MINOR >= 2
    union {
        uint32_t index;
        const void * src;
    } gid;
#else
    uint32_t glyph_index;
#endif
    lv_cache_entry_t * entry;
} lv_font_glyph_dsc_t;

struct lv_font_t {
    bool (*get_glyph_dsc)(const lv_font_t *, lv_font_glyph_dsc_t *, uint32_t letter, uint32_t letter_next);
#if LVGL_VERSION_MINOR >= 2
    const void * (*get_glyph_bitmap)(lv_font_glyph_dsc_t *, lv_draw_buf_t *);
#else
    const void * (*get_glyph_bitmap)(lv_font_glyph_dsc_t *, uint32_t, lv_draw_buf_t *);
#endif
    void (*release_glyph)(const lv_font_t *, lv_font_glyph_dsc_t *);
    int32_t line_height;
    int32_t base_line;
    uint8_t subpx : 2;
    uint8_t kerning : 1;
#if LVGL_VERSION_MINOR >= 3
    uint8_t static_bitmap : 1;         /* 1: LVGL may ask for the stored bitmap with no buffer */
#endif
    int8_t underline_position;
    int8_t underline_thickness;
    const void * dsc;
    const lv_font_t * fallback;
    void * user_data;
};

#define LV_FONT_DECLARE(font_name) extern const lv_font_t font_name;

#if LVGL_VERSION_MINOR >= 2
typedef enum {
    LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL,
    LV_FONT_FMT_TXT_CMAP_SPARSE_FULL,
    LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY,
    LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,
} lv_font_fmt_txt_cmap_type_t;
#else
enum _lv_font_fmt_txt_cmap_type_t {
    LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL,
    LV_FONT_FMT_TXT_CMAP_SPARSE_FULL,
    LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY,
    LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,
};
typedef uint8_t lv_font_fmt_txt_cmap_type_t;
#endif

#include "fmt_txt_tables.h"

typedef struct {
    const uint8_t * glyph_bitmap;
    const lv_font_fmt_txt_glyph_dsc_t * glyph_dsc;
    const lv_font_fmt_txt_cmap_t * cmaps;
    const void * kern_dsc;
    uint16_t kern_scale;
    uint16_t cmap_num : 9;
    uint16_t bpp : 4;
    uint16_t kern_classes : 1;
    uint16_t bitmap_format : 2;
#if LVGL_VERSION_MINOR >= 3
    uint8_t stride;
#endif
} lv_font_fmt_txt_dsc_t;

#ifdef __cplusplus
}
#endif

#endif
