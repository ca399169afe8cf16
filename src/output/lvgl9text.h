#pragma once

// The text every LVGL 9 output shares. One file serves 9.0 to 9.5: where the minors
// differ (the bitmap callback's arguments, the descriptor's pixel format and glyph id,
// the static-bitmap flag) the text chooses by LVGL_VERSION_MINOR.
//
// LVGL 9 gives the bitmap callback an A8 draw buffer and draws what the callback leaves
// there, so every kind reads its glyphs through callbacks of its own that expand the
// stored rows into that buffer. The descriptor callback leaves the glyph id (a glyph_dsc
// index, or the record's offset in an XBF table) in the descriptor, and the bitmap
// callback works from that id alone: LVGL may call it with a copy of the descriptor.

#include "output/linebuffer.h"

namespace qm {

// Stops a build against any other LVGL major version with a message saying so; the
// minor checks further down rely on the version macros being there.
void appendLvgl9VersionGuard(LineBuffer &out);

// __user_font_set_dsc (fills every field of the descriptor the font owns) and, unless
// the glyphs are compressed (their decoder fills the buffer itself), __user_font_expand
// (rows packed at 1, 2, 4 or 8 bpp into the A8 draw buffer).
void appendLvgl9GlyphHelpers(LineBuffer &out, bool withExpand = true);

// The bitmap callback in its two signatures, each handing the glyph id and the buffer
// to "static void __user_font_draw(uint32_t glyph_id, lv_draw_buf_t * draw_buf)", which
// the kind writes before it, and returning the buffer. Ends with two empty lines.
void appendLvgl9BitmapCallback(LineBuffer &out);

// The lv_font_t initialiser's lines for 9.3 and later, after .base_line: static_bitmap
// 0, so that LVGL always hands the bitmap callback a buffer.
void appendLvgl9StaticBitmapFlag(LineBuffer &out);

} // namespace qm
