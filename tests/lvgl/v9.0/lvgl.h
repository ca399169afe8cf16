/* Stand-in for LVGL 9.0's lvgl.h: the font types generated fonts use. */
#ifndef QM_TEST_LVGL_H
#define QM_TEST_LVGL_H

#define LVGL_VERSION_MAJOR 9
#define LVGL_VERSION_MINOR 0
#define LVGL_VERSION_PATCH 0
#include "../lvgl9_common.h"

#endif
