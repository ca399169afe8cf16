#include "engineglyph.h"

#include <cstring>

#ifdef QM_ENGINE_GLYPHS
#include <QtGui/private/qfixed_p.h>
#include <QtGui/private/qfontengine_p.h>
#include <QtGui/private/qrawfont_p.h>
#endif

namespace qm {

#ifndef QM_ENGINE_GLYPHS

bool engineGlyphsBuiltIn()
{
    return false;
}

bool loadEngineGlyph(const QRawFont &, quint32, EngineGlyph *)
{
    return false;
}

#else

bool engineGlyphsBuiltIn()
{
    return true;
}

bool loadEngineGlyph(const QRawFont &raw, quint32 glyphIndex, EngineGlyph *out)
{
    if (!raw.isValid())
        return false;
    QFontEngine *engine = QRawFontPrivate::get(raw)->fontEngine;
    // Without its cache the engine hands out glyphs the caller would have to free.
    if (!engine || engine->type() != QFontEngine::Freetype || !engine->hasInternalCaching())
        return false;
    const QFontEngine::Glyph *glyph =
        engine->glyphData(glyphIndex, QFixed(0), QFontEngine::Format_A8, QTransform());
    // No glyph: a blank one, or one the engine draws as an outline path (large sizes).
    if (!glyph || glyph->format != QFontEngine::Format_A8 || !glyph->data || glyph->width == 0
        || glyph->height == 0)
        return false;

    out->x = glyph->x;
    out->top = -glyph->y;
    out->width = glyph->width;
    out->height = glyph->height;
    // QFontMetrics takes the unhinted advance when the engine positions glyphs at
    // fractions of a pixel (light or no hinting), the hinted one otherwise.
    const QFixed advance = engine->supportsSubPixelPositions() ? QFixed::fromFixed(glyph->linearAdvance)
                                                               : QFixed(glyph->advance);
    out->advance = qRound(advance);
    // The engine keeps its rows 4-byte aligned, as QImage does.
    const int stride = (glyph->width + 3) & ~3;
    out->alpha = QImage(glyph->width, glyph->height, QImage::Format_Alpha8);
    for (int y = 0; y < glyph->height; ++y)
        memcpy(out->alpha.scanLine(y), glyph->data + y * stride, size_t(glyph->width));
    return true;
}

#endif

} // namespace qm
