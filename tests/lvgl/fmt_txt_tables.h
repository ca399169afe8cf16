/* The glyph descriptor and the character map of LVGL's lv_font_fmt_txt fonts, alike
 * from LVGL 6 to 9; included by the stand-ins of each generation after they have
 * declared lv_font_fmt_txt_cmap_type_t, which is not. */
#ifndef QM_TEST_FMT_TXT_TABLES_H
#define QM_TEST_FMT_TXT_TABLES_H

#ifndef LV_FONT_FMT_TXT_LARGE
#define LV_FONT_FMT_TXT_LARGE 0
#endif

/* LVGL 6 widens only the index and the advance in its large layout. */
typedef struct {
#if LV_FONT_FMT_TXT_LARGE == 0
    uint32_t bitmap_index : 20;
    uint32_t adv_w : 12;
#else
    uint32_t bitmap_index;
    uint32_t adv_w;
#endif
#if LV_FONT_FMT_TXT_LARGE == 0 || LVGL_VERSION_MAJOR == 6
    uint8_t box_w;
    uint8_t box_h;
    int8_t ofs_x;
    int8_t ofs_y;
#else
    uint16_t box_w;
    uint16_t box_h;
    int16_t ofs_x;
    int16_t ofs_y;
#endif
} lv_font_fmt_txt_glyph_dsc_t;

typedef struct {
    uint32_t range_start;
    uint16_t range_length;
    uint16_t glyph_id_start;
    const uint16_t *unicode_list;
    const void *glyph_id_ofs_list;
    uint16_t list_length;
    lv_font_fmt_txt_cmap_type_t type;
} lv_font_fmt_txt_cmap_t;

#endif
