#include "render/engineglyph.h"

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

bool loadEngineGlyph(const QRawFont &, quint32, EngineGlyph *, bool)
{
    return false;
}

bool enginePaintsCoverage(const QRawFont &)
{
    return false;
}

#else

bool engineGlyphsBuiltIn()
{
    return true;
}

namespace {

QFontEngine *cachingEngine(const QRawFont &raw)
{
    if (!raw.isValid())
        return nullptr;
    QFontEngine *engine = QRawFontPrivate::get(raw)->fontEngine;
    // Without its cache the engine hands out glyphs the caller would have to free.
    if (!engine || engine->type() != QFontEngine::Freetype || !engine->hasInternalCaching())
        return nullptr;
    return engine;
}

} // namespace

bool enginePaintsCoverage(const QRawFont &raw)
{
    const QFontEngine *engine = cachingEngine(raw);
    return engine && !engine->expectsGammaCorrectedBlending();
}

bool loadEngineGlyph(const QRawFont &raw, quint32 glyphIndex, EngineGlyph *out, bool mono)
{
    QFontEngine *engine = cachingEngine(raw);
    if (!engine)
        return false;
    const QFontEngine::GlyphFormat format = mono ? QFontEngine::Format_Mono : QFontEngine::Format_A8;
    const QFontEngine::Glyph *glyph = engine->glyphData(glyphIndex, QFixed(0), format, QTransform());
    // No glyph: a blank one, or one the engine draws as an outline path (large sizes).
    if (!glyph || glyph->format != format || !glyph->data || glyph->width == 0 || glyph->height == 0)
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
    out->alpha = QImage(glyph->width, glyph->height, QImage::Format_Alpha8);
    if (mono) {
        // One bit a pixel, the first in the high bit, rows 32-bit aligned.
        const int stride = ((glyph->width + 31) & ~31) >> 3;
        for (int y = 0; y < glyph->height; ++y) {
            const uchar *bits = glyph->data + y * stride;
            uchar *line = out->alpha.scanLine(y);
            for (int x = 0; x < glyph->width; ++x)
                line[x] = (bits[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
        }
        return true;
    }
    // The engine keeps its rows 4-byte aligned, as QImage does.
    const int stride = (glyph->width + 3) & ~3;
    for (int y = 0; y < glyph->height; ++y)
        memcpy(out->alpha.scanLine(y), glyph->data + y * stride, size_t(glyph->width));
    return true;
}

#endif

} // namespace qm
