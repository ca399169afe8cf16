#pragma once

// The glyphs of one font on their way into compressed streams. A generator hands over
// each glyph's bitmap rows as the encoders wrote them (bytes and picture); once the set
// is complete the model is trained on all of them and every glyph gets its stream, an
// identical glyph sharing the stream of the first.

#include "output/glyphcodec.h"
#include "output/linebuffer.h"

#include <QChar>
#include <QHash>
#include <QString>
#include <vector>

namespace qm {

class CompressedGlyphs
{
public:
    explicit CompressedGlyphs(int bpp) : m_bpp(bpp) {}

    // `rows` is the rows text of a box `boxW` wide and `boxH` high ("0x..," literals,
    // then "  //" and the picture, a line a row).
    void addGlyph(QChar ch, int boxW, int boxH, const QString &rows);
    // Trains the model and encodes every glyph added.
    void finish();

    int count() const { return int(m_glyphs.size()); }
    // Glyph i's offset into the streams: its bitmap_index.
    int offset(int i) const { return m_glyphs[size_t(i)].offset; }
    int streamBytes() const { return m_streamBytes; }
    // The largest packed glyph, the buffer a packed decode needs (at least 1).
    int largestGlyphBytes() const { return m_largest; }
    const GlyphCodecModel &model() const { return m_model; }

    // The glyph blocks of the bitmap array: "/* ch */", the picture as comment lines,
    // the stream's bytes (none for a glyph that shares an earlier stream), two empty
    // lines.
    void appendBlocks(LineBuffer &out) const;
    // All streams, in glyph order, as the bitmap array holds them.
    QByteArray streams() const;

private:
    struct Glyph {
        QChar ch;
        int w = 0, h = 0;
        std::vector<uint8_t> levels;
        QString picture;
        QByteArray stream;   // empty when shared
        int offset = 0;
    };
    int m_bpp;
    int m_largest = 1;
    int m_streamBytes = 0;
    std::vector<Glyph> m_glyphs;
    GlyphCodecModel m_model;
};

} // namespace qm
