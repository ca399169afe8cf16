#include "output/rawpipeline.h"

#include "output/encoders.h"

namespace qm {

RawGlyphPipeline::Maker::Maker(const QString &chars, const ConversionFonts &fonts, int mask, bool logMetrics,
                               const Decorator &decorate)
    : renderer(chars, fonts, logMetrics), bpp(fonts.bpp), mask(mask), decorate(decorate)
{
}

void RawGlyphPipeline::Maker::finish(Glyph &g) const
{
    g.rows.resize(0);   // empties, keeping the storage
    appendAlphaRows(g.rows, g.glyph.alpha, bpp, mask);
    g.glyph.alpha = QImage();
    g.block.resize(0);
    g.line.resize(0);
    if (decorate)
        decorate(g);
}

RawGlyphPipeline::RawGlyphPipeline(const PreparedConversion &prepared, bool threaded, Decorator decorate)
    : m_pipeline(prepared.chars().size(),
                 // Only the caller's renderer writes the metrics to the log.
                 [chars = prepared.chars(), fonts = prepared.fonts, mask = prepared.request.bppMask,
                  decorate](bool caller) {
                     return std::make_unique<Maker>(chars, fonts, mask, caller, decorate);
                 },
                 threaded)
{
}

} // namespace qm
