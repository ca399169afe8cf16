#pragma once

#include "output/glyphpipeline.h"
#include "render/preparedconversion.h"
#include "render/rawrender.h"

#include <QString>
#include <functional>
#include <vector>

namespace qm {

// The raw-font glyphs of a set in order for the sorted font, drawn and encoded on two
// threads (GlyphPipeline), each with a renderer of its own. A glyph the caller draws for
// itself is encoded only after it was reported.
class RawGlyphPipeline
{
public:
    struct Glyph {
        RawGlyph glyph;       // its pixels are dropped once encoded
        QString rows;         // its alpha map as bitmap text
        QString block;        // what the decorator made of it
        QString line;
        std::vector<uint8_t> bytes;   // or, for a compressed font, its alpha in the box
        int alphaWidth = 0;           // and the alpha map's width and rows in the box
        int alphaRows = 0;            // (rows then stays empty)
        bool finished = false;   // encoded and decorated
    };
    // Turns an encoded glyph into the caller's text: it adds to `block` and `line`,
    // which come empty, and may fill `bytes`. It runs on whichever thread drew the glyph and must touch
    // nothing else.
    using Decorator = std::function<void(Glyph &)>;

    // `threaded` false keeps all work on the calling thread. `alpha` keeps each glyph's
    // alpha values in its box instead of making the rows text.
    RawGlyphPipeline(const PreparedConversion &prepared, bool threaded, Decorator decorate = Decorator(),
                     bool alpha = false);

    const RawGlyphRenderer &renderer() const { return m_pipeline.maker().renderer; }
    // Character `index`, drawn (its font is one of the caller's renderer); indexes must
    // come in ascending order. The glyph stays valid until the next call.
    Glyph &next(int index) { return m_pipeline.next(index); }
    // Encodes and decorates a glyph from next() unless that is done already.
    void finish(Glyph &glyph) { m_pipeline.finish(glyph); }
    // Sets of fewer characters than this are not worth a thread.
    static int threadThreshold() { return PipelineCore::kThreadThreshold; }

    struct Maker {
        using Item = Glyph;
        Maker(const QString &chars, const ConversionFonts &fonts, int mask, bool logMetrics,
              const Decorator &decorate, bool alpha);
        void start(int index, Glyph &g) { g.glyph = renderer.render(index); }
        void finish(Glyph &g) const;
        // The caller reports each glyph with its own fonts; the faces stay the drawing
        // thread's.
        void release(Glyph &g) const
        {
            g.glyph.font = nullptr;
            g.glyph.raw = nullptr;
        }
        void adopt(Glyph &g) const { g.glyph.font = g.glyph.icon ? &renderer.iconFont() : &renderer.textFont(); }

        RawGlyphRenderer renderer;
        int bpp;
        int mask;
        Decorator decorate;
        bool alpha;
    };

private:
    GlyphPipeline<Maker> m_pipeline;
};

} // namespace qm
