#pragma once

#include <QImage>
#include <QRawFont>

namespace qm {

// An antialiased glyph as the font engine rendered it: its coverage, where that sits
// against the pen position, and the advance QFontMetrics would report for it.
struct EngineGlyph {
    QImage alpha;      // width x height, Format_Alpha8
    int x = 0;         // left edge, right of the pen position
    int top = 0;       // top edge, measured downward from the baseline (negative above it)
    int width = 0;
    int height = 0;
    int advance = 0;   // whole pixels
};

// Reads glyph `glyphIndex` of `raw` out of its FreeType engine's own glyph cache,
// rendering it there if needed. The public calls (alpha map, bounding rectangle,
// advance) keep the rendered glyph and its metrics in separate caches and load every
// glyph twice; this takes all three from the one rendering.
//
// Only the common case is served: a scalable font rendered to 8-bit coverage at a size
// the engine caches, a glyph with ink. Anything else returns false, and the caller
// uses the public calls, which give the same numbers.
//
// `mono` asks for the engine's 1-bit rendering instead (the one text drawn without
// anti-aliasing gets), each pixel coming out as 0 or 255.
bool loadEngineGlyph(const QRawFont &raw, quint32 glyphIndex, EngineGlyph *out, bool mono = false);
// Whether text drawn with `raw`'s face onto an image is the engine's coverage blended
// linearly: white ink on black then gives each pixel the coverage itself. Faces whose
// rasteriser darkens stems (CFF and Type 1 outlines under FreeType) are blended with
// gamma correction instead, and for those the answer is false.
bool enginePaintsCoverage(const QRawFont &raw);
// False when the program was built without Qt's private headers: then every glyph
// takes the public calls.
bool engineGlyphsBuiltIn();

} // namespace qm
