#include "output/rawpipeline.h"

#include "output/encoders.h"

namespace qm {

RawGlyphPipeline::Maker::Maker(const QString &chars, const ConversionFonts &fonts, int mask, bool logMetrics,
                               const Decorator &decorate, bool alpha)
    : renderer(chars, fonts, logMetrics), bpp(fonts.bpp), mask(mask), decorate(decorate), alpha(alpha)
{
}

void RawGlyphPipeline::Maker::finish(Glyph &g) const
{
    g.rows.resize(0);   // empties, keeping the storage
    if (alpha)
        alphaInBox(g.glyph.alpha, g.glyph.boxW, g.glyph.boxH, g.bytes, &g.alphaWidth, &g.alphaRows);
    else
        appendAlphaRows(g.rows, g.glyph.alpha, bpp, mask);
    g.glyph.alpha = QImage();
    g.block.resize(0);
    g.line.resize(0);
    if (decorate)
        decorate(g);
}

RawGlyphPipeline::RawGlyphPipeline(const PreparedConversion &prepared, bool threaded, Decorator decorate,
                                   bool alpha)
    : m_pipeline(prepared.chars().size(),
                 // Only the caller's renderer writes the metrics to the log.
                 [chars = prepared.chars(), fonts = prepared.fonts, mask = prepared.request.bppMask,
                  decorate, alpha](bool caller) {
                     return std::make_unique<Maker>(chars, fonts, mask, caller, decorate, alpha);
                 },
                 threaded)
{
}

} // namespace qm
