#pragma once

#include "render/glyphbox.h"

#include <QImage>
#include <QString>
#include <cstdint>

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
// The cropped rows as raw bytes; `buffer` holds at least rowBytes * height bytes.
void packCroppedGlyphBytes(const QImage &image, int bpp, int mask, uint8_t *buffer,
                           int *boxH, int *rowsBelow);

// Finds the first and last inked rows (any of red, green, blue non-zero).
// Returns false when the image has no ink.
bool findInkedRows(const QImage &image, int *top, int *bottom);

} // namespace qm
