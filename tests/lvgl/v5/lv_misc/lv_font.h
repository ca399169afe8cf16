/* A small stand-in for the font types of LVGL 5.3 and earlier, so tests can compile
 * the legacy font files and read glyphs back. It holds what those files use: a
 * descriptor packed into one 32-bit word, a zero-terminated 32-bit code list and the
 * font object with its two sparse lookup functions (the test program supplies them). */
#ifndef QM_TEST_LV_FONT_H
#define QM_TEST_LV_FONT_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LVGL_VERSION_MAJOR 5

typedef struct {
    uint32_t w_px : 8;
    uint32_t glyph_index : 24;
} lv_font_glyph_dsc_t;

typedef struct _lv_font_struct {
    uint32_t unicode_first;
    uint32_t unicode_last;
    const uint8_t *glyph_bitmap;
    const lv_font_glyph_dsc_t *glyph_dsc;
    const uint32_t *unicode_list;
    const uint8_t *(*get_bitmap)(const struct _lv_font_struct *, uint32_t);
    int16_t (*get_width)(const struct _lv_font_struct *, uint32_t);
    struct _lv_font_struct *next_page;
    uint32_t h_px : 8;
    uint32_t bpp : 4;
    uint32_t monospace : 8;
    uint16_t glyph_cnt;
} lv_font_t;

/* Search unicode_list for the letter; the glyph's bitmap or width, NULL or -1 if absent. */
const uint8_t *lv_font_get_bitmap_sparse(const lv_font_t *font, uint32_t unicode_letter);
int16_t lv_font_get_width_sparse(const lv_font_t *font, uint32_t unicode_letter);

#define LV_FONT_DECLARE(font_name) extern lv_font_t font_name;

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
