#pragma once

#include "render/glyphcapture.h"
#include "render/preparedconversion.h"
#include "output/glyphpipeline.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace qm {

// One character of a set as the kinds that capture the render label need it.
struct CapturedGlyph {
    GlyphCapturer::Glyph glyph;   // its coverage is dropped once encoded
    QString rows;                 // the bitmap as text (the text encodings)
    std::vector<uint8_t> bytes;   // the bitmap as bytes (the byte encoding), or what the
                                  // decorator made of the text
    CropInfo crop;                // where the ink lies (the cropped encodings)
    QString block;                // what the decorator made of it
    QString line;
    bool finished = false;        // encoded and decorated
};

// The characters of a set captured and encoded in order on two threads (GlyphPipeline),
// each with a capturer of its own. A glyph the caller captures for itself is encoded only
// after it was reported.
class CapturePipeline
{
public:
    enum class Encoding {
        CroppedText,    // the inked rows as bitmap text
        FullText,       // every row of a box as high as the tallest line, as bitmap text
        CroppedBytes,   // the inked rows as bytes
    };
    // Turns an encoded glyph into the caller's text: it adds to `block` and `line`,
    // which come empty. It runs on whichever thread captured the glyph, with that
    // thread's capturer, and must touch nothing else.
    using Decorator = std::function<void(CapturedGlyph &, const GlyphCapturer &)>;

    // `threaded` false keeps all work on the calling thread.
    CapturePipeline(const PreparedConversion &prepared, Encoding encoding, Decorator decorate = Decorator(),
                    bool threaded = true);

    // The caller's capturer: the fonts every reported glyph points to.
    const GlyphCapturer &capturer() const { return m_pipeline.maker().capturer; }
    // Character `index`, measured; indexes must come in ascending order. The glyph stays
    // valid until the next call.
    CapturedGlyph &next(int index) { return m_pipeline.next(index); }
    // Encodes and decorates a glyph from next() unless that is done already.
    void finish(CapturedGlyph &glyph) { m_pipeline.finish(glyph); }

    struct Maker {
        using Item = CapturedGlyph;
        Maker(const QString &chars, const ConversionFonts &fonts, int mask, int rows, Encoding encoding,
              const Decorator &decorate);
        void start(int index, CapturedGlyph &g) const { g.glyph = capturer.measure(chars.at(index)); }
        void finish(CapturedGlyph &g) const;
        void release(CapturedGlyph &g) const { g.glyph.font = nullptr; }
        void adopt(CapturedGlyph &g) const
        {
            g.glyph.font = g.glyph.icon ? &capturer.iconFont() : &capturer.renderFont();
        }

        QString chars;
        GlyphCapturer capturer;
        int bpp;
        int mask;
        Encoding encoding;
        int rows;   // of the full encoding
        Decorator decorate;
    };

private:
    GlyphPipeline<Maker> m_pipeline;
};

} // namespace qm
