/* Stand-in for LVGL 6.1's lvgl.h: the font types generated fonts use. */
#ifndef QM_TEST_LVGL_H
#define QM_TEST_LVGL_H

#define LVGL_VERSION_MAJOR 6
#define LVGL_VERSION_MINOR 1
#include "../fmt_txt_common.h"

#endif
