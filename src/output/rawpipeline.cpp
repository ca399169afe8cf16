#include "output/rawpipeline.h"

#include "output/encoders.h"

namespace qm {

RawGlyphPipeline::Maker::Maker(const QString &chars, const QFont &font, const QFont &iconFont,
                               const QString &iconText, int bpp, int mask, bool logMetrics,
                               const Decorator &decorate)
    : renderer(chars, font, iconFont, iconText, bpp, logMetrics), bpp(bpp), mask(mask), decorate(decorate)
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

RawGlyphPipeline::RawGlyphPipeline(const QString &chars, const QFont &font, const QFont &iconFont,
                                   const QString &iconText, int bpp, int mask, bool threaded,
                                   Decorator decorate)
    : m_pipeline(chars.size(),
                 // Only the caller's renderer writes the metrics to the log.
                 [chars, font, iconFont, iconText, bpp, mask, decorate](bool caller) {
                     return std::make_unique<Maker>(chars, font, iconFont, iconText, bpp, mask, caller, decorate);
                 },
                 threaded)
{
}

} // namespace qm
