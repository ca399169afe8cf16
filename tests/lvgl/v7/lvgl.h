/* Stand-in for LVGL 7.11's lvgl.h: the font types generated fonts use. */
#ifndef QM_TEST_LVGL_H
#define QM_TEST_LVGL_H

#define LVGL_VERSION_MAJOR 7
#define LVGL_VERSION_MINOR 11
#include "../fmt_txt_common.h"

#endif
