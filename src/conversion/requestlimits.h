#pragma once

#include "render/preparedconversion.h"
#include "request/request.h"

#include <QString>

namespace qm {

// The most glyphs one font of the lv_font_fmt_txt kinds lists: LVGL counts the list in
// list_length, a uint16_t. The XBF table keeps one position per 16-bit code; with at
// most this many records, of at most 255 x 255 bytes each, its 32-bit positions
// cannot overflow either.
constexpr int kMaxListedGlyphs = 65535;
// LVGL 5.3 keeps a glyph's place in the bitmap in glyph_index, 24 bits wide.
constexpr qint64 kMaxLegacyGlyphIndex = (1 << 24) - 1;

// Empty when the chosen kind can hold what the request asks for; otherwise why not and
// what the user can do, found before anything is drawn so that a hopeless request costs
// neither time nor memory: too many characters for the kind, a font whose vertical
// metrics are zero or inverted (its line height would be 0 or negative), a glyph box
// wider or a line taller than the kind can hold (255 px for the XBF kinds and LVGL 5.3,
// 32767 px for the lv_font_fmt_txt layouts), bitmaps past what LVGL 5.3 addresses.
QString requestRefusal(GeneratorKind kind, const PreparedConversion &prepared);

// The message for a result that needed more memory than the machine gave.
QString outOfMemoryMessage();

} // namespace qm
