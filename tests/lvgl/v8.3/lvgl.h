/* Stand-in for LVGL 8.2/8.3's lvgl.h: the font types generated fonts use. */
#ifndef QM_TEST_LVGL_H
#define QM_TEST_LVGL_H

#define LVGL_VERSION_MAJOR 8
#define LVGL_VERSION_MINOR 3
#include "../fmt_txt_common.h"

#endif
