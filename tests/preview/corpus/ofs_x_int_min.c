/* ofs_x of INT_MIN, whose magnitude int cannot hold */
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
static const uint8_t glyph_bitmap[] = {
/* A */
0x20,  //..@..
0x20,  //..@..
0x50,  //.@.@.
0x50,  //.@.@.
0x70,  //.@@@.
0x88,  //@...@
/* B */
0xf0,  //@@@@
0x90,  //@..@
0x90,  //@..@
0xe0,  //@@@.
0x90,  //@..@
0xf0,  //@@@@
};
static const lv_font_fmt_txt_glyph_dsc_t glyph_dsc[] = {
    {.bitmap_index = 0,	.adv_w = 5, .box_w = 8, .box_h = 6, .ofs_x = -2147483648, .ofs_y = 2},/*(A)*/
    {.bitmap_index = 6,	.adv_w = 5, .box_w = 8, .box_h = 6, .ofs_x = 1, .ofs_y = 2},/*(B)*/
};
static const uint16_t unicode_list_1[] = {
    0x0041,	/*(A)*/
    0x0042,	/*(B)*/
    0x0000,    /*End indicator*/
};
static const lv_font_fmt_txt_cmap_t cmaps[] = {
    {
        .range_start = 0x0041,
        .range_length = 0x0042,
        .glyph_id_start = 0,
        .unicode_list = unicode_list_1,
        .glyph_id_ofs_list = NULL,
        .list_length = 2,
        .type = LV_FONT_FMT_TXT_CMAP_SPARSE_TINY,
    }
};
static lv_font_fmt_txt_glyph_cache_t glyph_cache;
static lv_font_fmt_txt_dsc_t font_dsc = {
    .glyph_bitmap = glyph_bitmap,
    .glyph_dsc = glyph_dsc,
    .cmaps = cmaps,
    .kern_dsc = NULL,
    .kern_scale = 0,
    .cmap_num = 1,
    .bpp = 1,
    .kern_classes = 0,
    .cache = &glyph_cache,
};
static int binsearch(const uint16_t *sortedSeq, int seqLength, uint16_t keyData) {
    int low = 0, mid, high = seqLength - 1;
    while (low <= high) {
        mid = (low + high)>>1;//右移1位等于是/2，奇数，无论奇偶，有个值就行
        if (keyData < sortedSeq[mid]) {
            high = mid - 1;//是mid-1，因为mid已经比较过了
        }
        else if (keyData > sortedSeq[mid]) {
            low = mid + 1;
        }
        else {
            return mid;
        }
    }
    return -1;
}
static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {
    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;
    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return NULL;
    int i;
    if( unicode_letter==fdsc->cache->last_letter ){
        i = fdsc->cache->last_glyph_id;
    }
    else{
        i = binsearch(fdsc->cmaps[0].unicode_list, fdsc->cmaps[0].list_length, unicode_letter);
    }
    if( i != -1 ) {
        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];
        fdsc->cache->last_glyph_id = i;
        fdsc->cache->last_letter = unicode_letter;
        return &fdsc->glyph_bitmap[gdsc->bitmap_index];
    }
    return NULL;
}
static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {
    lv_font_fmt_txt_dsc_t * fdsc = (lv_font_fmt_txt_dsc_t *) font->dsc;
    if( unicode_letter<fdsc->cmaps[0].range_start || unicode_letter>fdsc->cmaps[0].range_length ) return false;
    int i;
    if( unicode_letter==fdsc->cache->last_letter ){
        i = fdsc->cache->last_glyph_id;
    }
    else{
        i = binsearch(fdsc->cmaps[0].unicode_list, fdsc->cmaps[0].list_length, unicode_letter);
    }
    if( i != -1 ) {
        const lv_font_fmt_txt_glyph_dsc_t * gdsc = &fdsc->glyph_dsc[i];
        fdsc->cache->last_glyph_id = i;
        fdsc->cache->last_letter = unicode_letter;
        dsc_out->adv_w = gdsc->adv_w;
        dsc_out->box_h = gdsc->box_h;
        dsc_out->box_w = gdsc->box_w;
        dsc_out->ofs_x = gdsc->ofs_x;
        dsc_out->ofs_y = gdsc->ofs_y;
        dsc_out->bpp   = fdsc->bpp;
#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)
        dsc_out->is_placeholder = 0;
#endif
        return true;
    }
    return false;
}
//DejaVu Sans,Book,8px
//字模高度：10
//内部字体
//使用排序和二分查表
extern const lv_font_t myFont;
const lv_font_t myFont = {
    .get_glyph_dsc = __user_font_get_glyph_dsc,
    .get_glyph_bitmap = __user_font_get_bitmap,
    .line_height = 10,
    .base_line = 0,
    .dsc = &font_dsc,
};
