/* LVGL 8 as it is today: the 8.3 stand-in. */
#include "../v8.3/lvgl.h"
