/* How fast can any per-pixel rANS decoder fetch the glyphs of a set, on this machine?
 * Built like decode_driver.c against a plain font: it takes every glyph's levels from
 * the font, codes them again with the simplest model there is (order 0: one table of
 * 8-bit frequencies for the whole set, no context to compute) and decodes them with
 * one table lookup a pixel, as one rANS state and as two interleaved ones. No context
 * model can decode faster than this, and this one codes far more bits a pixel than a
 * context model does. Prints one line a variant:
 *   "floor STATES ns_per_glyph N bits_per_pixel B". */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include "lvgl.h"

LV_FONT_DECLARE(bench_font)

static const uint32_t letters[] = {
#include "letters.h"
};

#define COUNT (sizeof letters / sizeof letters[0])

typedef struct {
    uint32_t w, h;
    uint8_t *levels;
    uint8_t *stream;
    uint32_t size;
} glyph_t;

static glyph_t glyphs[COUNT];
static uint32_t freq[256], cum[257];
static uint32_t table[256]; /* per slot: symbol | freq << 8 | start << 16 */

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

/* Codes pixels k = n-1 .. 0 with state k % states, last pixel first. */
static void encode(glyph_t *g, int states)
{
    uint32_t n = g->w * g->h, x[2] = {256, 256}, k;
    uint8_t *back = malloc(2 * n + 8);
    uint32_t t = 0, q = 0;
    int j;
    for (k = n; k-- > 0;) {
        uint32_t s = g->levels[k], *st = &x[k % (uint32_t)states];
        while (*st >= freq[s] << 8) {
            back[t++] = (uint8_t)*st;
            *st >>= 8;
        }
        *st = (*st / freq[s]) * 256 + *st % freq[s] + cum[s];
    }
    free(g->stream);
    g->stream = malloc(t + 4);
    for (j = 0; j < states; j++) {
        g->stream[q++] = (uint8_t)(x[j] >> 8);
        g->stream[q++] = (uint8_t)x[j];
    }
    while (t > 0)
        g->stream[q++] = back[--t];
    g->size = q;
    free(back);
}

static uint32_t refill(uint32_t x, const uint8_t **p, const uint8_t *end)
{
    uint32_t need = (uint32_t)(x < 256u) & (uint32_t)(*p < end);
    uint32_t byte = *p < end ? **p : 0u;
    *p += need;
    return x << (need << 3) | (byte & (0u - need));
}

static void decode1(const glyph_t *g, uint8_t *out)
{
    const uint8_t *p = g->stream + 2, *end = g->stream + g->size;
    uint32_t x = (uint32_t)g->stream[0] << 8 | g->stream[1], k, n = g->w * g->h;
    for (k = 0; k < n; k++) {
        uint32_t slot = x & 255u, d = table[slot];
        out[k] = (uint8_t)d;
        x = refill(((d >> 8) & 255u) * (x >> 8) + slot - (d >> 16), &p, end);
    }
}

static void decode2(const glyph_t *g, uint8_t *out)
{
    const uint8_t *p = g->stream + 4, *end = g->stream + g->size;
    uint32_t a = (uint32_t)g->stream[0] << 8 | g->stream[1], b = (uint32_t)g->stream[2] << 8 | g->stream[3];
    uint32_t k = 0, n = g->w * g->h;
    for (; k + 1 < n; k += 2) {
        uint32_t sa = a & 255u, sb = b & 255u, da = table[sa], db = table[sb];
        out[k] = (uint8_t)da;
        out[k + 1] = (uint8_t)db;
        a = refill(((da >> 8) & 255u) * (a >> 8) + sa - (da >> 16), &p, end);
        b = refill(((db >> 8) & 255u) * (b >> 8) + sb - (db >> 16), &p, end);
    }
    if (k < n)
        out[k] = (uint8_t)table[a & 255u];
}

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 7, states;
    uint32_t max = 1, symbols, s, total = 0, i;
    double count[256] = {0}, pixels = 0;
    uint8_t *out;
    size_t largest = 1;
    for (i = 0; i < COUNT; i++) {
        lv_font_glyph_dsc_t d;
        const uint8_t *bitmap;
        uint32_t k;
        glyphs[i].w = glyphs[i].h = 0;
        if (!bench_font.get_glyph_dsc(&bench_font, &d, letters[i], 0))
            continue;
        bitmap = bench_font.get_glyph_bitmap(&bench_font, letters[i]);
        if (!bitmap || d.box_w == 0 || d.box_h == 0)
            continue;
        glyphs[i].w = d.box_w;
        glyphs[i].h = d.box_h;
        glyphs[i].levels = malloc((size_t)d.box_w * d.box_h);
        for (k = 0; k < (uint32_t)d.box_w * d.box_h; k++) {
            uint32_t bit = k * d.bpp;
            glyphs[i].levels[k] = (uint8_t)((bitmap[bit / 8] >> (8 - d.bpp - bit % 8)) & ((1u << d.bpp) - 1));
            count[glyphs[i].levels[k]] += 1;
        }
        max = (1u << d.bpp) - 1;
        pixels += (double)d.box_w * d.box_h;
        if ((size_t)d.box_w * d.box_h > largest)
            largest = (size_t)d.box_w * d.box_h;
    }
    /* 8-bit frequencies, every level at least 1. */
    symbols = max + 1;
    for (s = 0; s < symbols; s++) {
        freq[s] = 1 + (uint32_t)(count[s] / pixels * (256 - symbols));
        total += freq[s];
    }
    freq[0] += 256 - total;
    for (s = 0; s < symbols; s++)
        cum[s + 1] = cum[s] + freq[s];
    for (s = 0; s < symbols; s++) {
        uint32_t slot;
        for (slot = cum[s]; slot < cum[s + 1]; slot++)
            table[slot] = s | freq[s] << 8 | cum[s] << 16;
    }
    out = malloc(largest);
    for (states = 1; states <= 2; states++) {
        double best = 0, bytes = 0;
        int r;
        for (i = 0; i < COUNT; i++)
            if (glyphs[i].w) {
                encode(&glyphs[i], states);
                bytes += glyphs[i].size;
            }
        for (r = 0; r < rounds; r++) {
            double start = now(), spent;
            for (i = 0; i < COUNT; i++) {
                if (!glyphs[i].w)
                    continue;
                if (states == 1)
                    decode1(&glyphs[i], out);
                else
                    decode2(&glyphs[i], out);
                if (r == 0 && memcmp(out, glyphs[i].levels, (size_t)glyphs[i].w * glyphs[i].h) != 0) {
                    printf("glyph %u does not decode\n", (unsigned)i);
                    return 1;
                }
            }
            spent = now() - start;
            if (r == 0 || spent < best)
                best = spent;
        }
        printf("floor %d ns_per_glyph %.1f bits_per_pixel %.2f\n", states, best / (double)COUNT, bytes * 8 / pixels);
    }
    return 0;
}
