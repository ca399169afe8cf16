#pragma once

#include "render/glyphbox.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace qm {

// Captured images (white ink on black): the level of a pixel comes from its red and
// blue values. Each row is written as "0x%02x," literals, "  //" and a preview.
QString encodeGlyphRows(const QImage &image, int bpp, int mask);
QString encodeCroppedGlyphRows(const QImage &image, int bpp, int mask, int *boxH, int *rowsBelow);
// The same rows added to the end of `out`, which keeps its storage.
void appendGlyphRows(QString &out, const QImage &image, int bpp, int mask);
void appendCroppedGlyphRows(QString &out, const QImage &image, int bpp, int mask, int *boxH, int *rowsBelow);
// Alpha maps: the level comes from the alpha value.
QString encodeAlphaRows(const QImage &alphaMap, int bpp, int mask);
// The same rows added to the end of `out`, which keeps its storage.
void appendAlphaRows(QString &out, const QImage &alphaMap, int bpp, int mask);
// What a compressed font takes from an alpha map in place of the rows: its alpha values
// in a boxW x boxH box (zero where the map is smaller), and the map's width and the
// rows of it inside the box, which the preview lines cover.
void alphaInBox(const QImage &alphaMap, int boxW, int boxH, std::vector<uint8_t> &alpha, int *width, int *rows);
// The level of an alpha value at `mask` (1, 3, 15 or 255), and its preview character,
// as the rows give them.
inline uint alphaLevel(uint alpha, int mask)
{
    return alpha * uint(mask) / 255u;
}
char alphaPreviewChar(uint alpha);

// The cropped rows as raw bytes; `buffer` holds at least rowBytes * height bytes.
void packCroppedGlyphBytes(const QImage &image, int bpp, int mask, uint8_t *buffer,
                           int *boxH, int *rowsBelow);

// Finds the first and last inked rows (any of red, green, blue non-zero).
// Returns false when the image has no ink.
bool findInkedRows(const QImage &image, int *top, int *bottom);

} // namespace qm
