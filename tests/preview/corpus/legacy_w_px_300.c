/* w_px holds 8 bits */
/*
*---------------------------------------------------------------
*                        Quillmark                         
*                                                               
* 注:使用unicode编码                                              
* 注:本字体文件由Quillmark V0.5测试版 生成                     
* 作者:Quillmark开发组 (LVGL字体转换工具)                     
*---------------------------------------------------------------
*/
#include "./lv_misc/lv_font.h"
static const uint8_t glyph_bitmap[] = 
{
/* A */
0x00,  //.....
0x00,  //.....
0x20,  //..@..
0x20,  //..@..
0x50,  //.@.@.
0x50,  //.@.@.
0x70,  //.@@@.
0x88,  //@...@
0x00,  //.....
0x00,  //.....
/* B */
0x00,  //.....
0x00,  //.....
0x78,  //.@@@@
0x48,  //.@..@
0x48,  //.@..@
0x70,  //.@@@.
0x48,  //.@..@
0x78,  //.@@@@
0x00,  //.....
0x00,  //.....
};
static const lv_font_glyph_dsc_t glyph_dsc[] = 
{
    {.w_px = 5,	.glyph_index = 0},/*(A)*/
    {.w_px = 300,	.glyph_index = 10},/*(B)*/
};
static const uint32_t unicode_list[] = 
{
    0x0041,	/*(A)*/
    0x0042,	/*(B)*/
    0x0000,    /*End indicator*/
};
//DejaVu Sans,Book,8px
//字模高度：10
extern const lv_font_t myFont;
const lv_font_t myFont = {
    .unicode_first = 65,	/*First Unicode letter in this font*/
    .unicode_last = 66,	/*Last Unicode letter in this font*/
    .glyph_bitmap = glyph_bitmap,	/*Bitmap of glyphs*/
    .glyph_dsc = glyph_dsc,		/*Description of glyphs*/
    .unicode_list = unicode_list,	/*List of unicode characters*/
    .get_bitmap = lv_font_get_bitmap_sparse,	/*Function pointer to get glyph's bitmap*/
    .get_width = lv_font_get_width_sparse,	/*Function pointer to get glyph's width*/
    .next_page = NULL,		/*Pointer to a font extension*/
    .h_px = 10,				/*Font height in pixels*/
    .bpp = 1,				/*Bit per pixel*/
};
//end of file
