#include "output/capturepipeline.h"
#include "output/encoders.h"

#include <algorithm>

namespace qm {

CapturePipeline::Maker::Maker(const QString &chars, const ConversionFonts &fonts, int mask, int rows,
                              Encoding encoding, const Decorator &decorate)
    : chars(chars), capturer(fonts), bpp(fonts.bpp), mask(mask), encoding(encoding), rows(rows), decorate(decorate)
{
}

void CapturePipeline::Maker::finish(CapturedGlyph &g) const
{
    g.crop = CropInfo();
    g.rows.resize(0);   // empties, keeping the storage
    switch (encoding) {
    case Encoding::CroppedText:
        appendCroppedGlyphRows(g.rows, capturer.capture(g.glyph), bpp, mask, &g.crop.boxH, &g.crop.rowsBelow);
        break;
    case Encoding::FullText:
        appendGlyphRows(g.rows, capturer.capture(g.glyph, rows), bpp, mask);
        break;
    case Encoding::CroppedBytes:
        // Room for the uncropped rows, as the encoder asks.
        g.bytes.resize(size_t(std::max(0, rowBytesFor(g.glyph.width, bpp) * g.glyph.height)));
        packCroppedGlyphBytes(capturer.capture(g.glyph), bpp, mask, g.bytes.data(), &g.crop.boxH,
                              &g.crop.rowsBelow);
        break;
    }
    g.glyph.coverage = EngineGlyph();
    g.block.resize(0);
    g.line.resize(0);
    if (decorate)
        decorate(g, capturer);
}

CapturePipeline::CapturePipeline(const PreparedConversion &prepared, Encoding encoding, Decorator decorate,
                                 bool threaded)
    : m_pipeline(prepared.chars().size(),
                 [chars = prepared.chars(), fonts = prepared.fonts, mask = prepared.request.bppMask,
                  rows = prepared.tallestLine, encoding, decorate](bool) {
                     return std::make_unique<Maker>(chars, fonts, mask, rows, encoding, decorate);
                 },
                 threaded)
{
}

} // namespace qm
