/* the last record lost five of its six rows */
/*
*---------------------------------------------------------------
*                        Quillmark                         
*                                                               
* 注:使用unicode编码                                              
* 注:本字体文件由Quillmark V0.5测试版 生成                     
* 作者:Quillmark开发组 (LVGL字体转换工具)                     
*---------------------------------------------------------------
*/
#include "lvgl.h"
typedef struct{
    uint16_t min;
    uint16_t max;
    uint8_t  bpp;
    uint8_t  reserved[3];
}x_header_t;
typedef struct{
    uint32_t pos;
}x_table_t;
typedef struct{
    uint8_t adv_w;
    uint8_t box_w;
    uint8_t box_h;
    int8_t  ofs_x;
    int8_t  ofs_y;
    uint8_t r;
}glyph_dsc_t;
static const uint8_t glyph_dsc_xbf[] = {
0x41,0x00,0x42,0x00,0x01,0x00,0x00,0x00,//xbf header
0x10,0x00,0x00,0x00,//0x0041
0x1c,0x00,0x00,0x00,//0x0042
/* A */
5,8,6,0,2,0,  //dsc : unicode = 0x0041
0x20,  //..@..
0x20,  //..@..
0x50,  //.@.@.
0x50,  //.@.@.
0x70,  //.@@@.
0x88,  //@...@
/* B */
5,8,6,1,2,0,  //dsc : unicode = 0x0042
0xf0,
};
static x_header_t __user_font_header(void) {
    x_header_t hd = {0};
    hd.min = glyph_dsc_xbf[0] | glyph_dsc_xbf[1] << 8;
    hd.max = glyph_dsc_xbf[2] | glyph_dsc_xbf[3] << 8;
    hd.bpp = glyph_dsc_xbf[4];
    return hd;
}
static uint32_t __user_font_pos(const uint8_t *p) {
    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {
    x_header_t hd = __user_font_header(), *p_hd = &hd;
    if( unicode_letter>p_hd->max || unicode_letter<p_hd->min ) {
        return NULL;
    }
    uint32_t unicode_offset = unicode_letter-p_hd->min;
    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+unicode_offset*4 ]);
    if( pos != 0 ) {
        return &glyph_dsc_xbf[ pos+sizeof(glyph_dsc_t) ];
    }
    return NULL;
}
static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {
    x_header_t hd = __user_font_header(), *p_hd = &hd;
    if( unicode_letter>p_hd->max || unicode_letter<p_hd->min ) {
        return false;
    }
    uint32_t unicode_offset = unicode_letter-p_hd->min;
    uint32_t pos = __user_font_pos(&glyph_dsc_xbf[ sizeof(x_header_t)+unicode_offset*4 ]);
    if( pos != 0 ) {
        glyph_dsc_t * gdsc = (glyph_dsc_t*)&glyph_dsc_xbf[ pos ];
        dsc_out->adv_w = gdsc->adv_w;
        dsc_out->box_h = gdsc->box_h;
        dsc_out->box_w = gdsc->box_w;
        dsc_out->ofs_x = gdsc->ofs_x;
        dsc_out->ofs_y = gdsc->ofs_y;
        dsc_out->bpp   = p_hd->bpp;
#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)
        dsc_out->is_placeholder = 0;
#endif
        return true;
    }
    return false;
}
//DejaVu Sans,Book,8px
//字模高度：10
//XBF字体,内部大数组
extern const lv_font_t myFont;
const lv_font_t myFont = {
    .get_glyph_dsc = __user_font_get_glyph_dsc,
    .get_glyph_bitmap = __user_font_get_bitmap,
    .line_height = 10,
    .base_line = 0,
};
