#pragma once

// C text that every output kind writes alike around its lookups and its font object.

#include "output/linebuffer.h"

namespace qm {

// Where a found glyph's descriptor has is_placeholder (LVGL 8.2 and later), clears it:
// LVGL reads it after the lookup, and its drawing code hands over an uninitialised
// descriptor. The field is new in 8.2 and the texts that set it also serve older LVGL,
// so the line stands under a version test. `indent` is the depth of the line itself.
void appendPlaceholderReset(LineBuffer &out, int indent);

// The found glyph's descriptor copied from `gdsc` into dsc_out, its bpp from
// `bppSource`, the is_placeholder reset when `resetPlaceholder`, then "return true;";
// every line at `indent` spaces.
void appendGlyphDscCopy(LineBuffer &out, int indent, const QString &bppSource, bool resetPlaceholder);

// "extern const lv_font_t NAME;" and "const lv_font_t NAME = {". In C++ a const object
// at namespace scope is local to its file unless declared extern first, and firmware
// built as C++ reaches the font from other files through LV_FONT_DECLARE.
void appendFontObjectOpening(LineBuffer &out, const QString &fontName);

} // namespace qm
