/* Stand-in for LVGL 9.3 to 9.5's lvgl.h: the font types generated fonts use. */
#ifndef QM_TEST_LVGL_H
#define QM_TEST_LVGL_H

#define LVGL_VERSION_MAJOR 9
#define LVGL_VERSION_MINOR 3
#define LVGL_VERSION_PATCH 0
#include "../lvgl9_common.h"

#endif
