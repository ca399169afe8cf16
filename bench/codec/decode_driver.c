/* Times the lookup and bitmap of every glyph of a font, as LVGL 8 asks for them when it
 * draws: the descriptor, then the bitmap. Built with the font at -O2 on the host; the
 * letters come from letters.h (QM_LETTERS). Prints "ns_per_glyph N checksum C". */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include "lvgl.h"

LV_FONT_DECLARE(bench_font)

static const uint32_t letters[] = {
#include "letters.h"
};

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

int main(int argc, char **argv)
{
    const size_t count = sizeof letters / sizeof letters[0];
    int rounds = argc > 1 ? atoi(argv[1]) : 5, r;
    unsigned long sum = 0;
    double best = 0;
    for (r = 0; r < rounds; r++) {
        size_t i;
        double start = now(), spent;
        for (i = 0; i < count; i++) {
            lv_font_glyph_dsc_t d;
            const uint8_t *bitmap;
            if (!bench_font.get_glyph_dsc(&bench_font, &d, letters[i], 0))
                continue;
            bitmap = bench_font.get_glyph_bitmap(&bench_font, letters[i]);
            if (bitmap && d.box_w && d.box_h)
                sum += bitmap[(size_t)d.box_h * ((d.box_w * d.bpp + 7) / 8) - 1];
        }
        spent = now() - start;
        /* The fastest round: the others lost time to neighbours on a shared machine. */
        if (r == 0 || spent < best)
            best = spent;
    }
    printf("ns_per_glyph %.1f checksum %lu\n", best / (double)count, sum);
    return 0;
}
