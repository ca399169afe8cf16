#pragma once

// The glyphs of one font on their way into compressed streams. A generator hands over
// each glyph's bitmap rows as the encoders wrote them (bytes and picture); once the set
// is complete the model is trained on all of them and every glyph gets its stream, in
// glyph order: where the decoder learns a stream's end from the next glyph's start
// (StreamEnd::Known), identical glyphs cannot share one.

#include "output/glyphcodec.h"
#include "output/linebuffer.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <vector>

namespace qm {

class CompressedGlyphs
{
public:
    CompressedGlyphs(int bpp, StreamEnd end) : m_bpp(bpp), m_end(end) {}

    // Reads the rows text of a box `boxW` wide and `boxH` high ("0x..," literals, then
    // "  //" and the picture, a line a row) into one level a pixel and the picture's
    // comment lines. It touches nothing else, so the thread that drew the glyph can
    // read it.
    static void readRows(int bpp, int boxW, int boxH, const QString &rows, std::vector<uint8_t> &levels,
                         QString &picture);
    // A glyph as readRows() gave it; both are copied, so the caller keeps its storage.
    void addReadGlyph(QChar ch, int boxW, int boxH, const std::vector<uint8_t> &levels, const QString &picture);
    // A glyph as alpha values in its box (boxW x boxH), its levels taken at the mask
    // setAlphaMask() gave; its picture, made when the blocks are written, is `width`
    // characters by `rows` lines, as the rows' comments would be.
    void setAlphaMask(int mask);
    void addAlphaGlyph(QChar ch, int boxW, int boxH, const std::vector<uint8_t> &alpha, int width, int rows);
    // The same from the rows text, read here.
    void addGlyph(QChar ch, int boxW, int boxH, const QString &rows);
    // The same from rows packed MSB first, each padded to whole bytes (no picture).
    void addGlyphBytes(QChar ch, int boxW, int boxH, const uint8_t *packed);
    // Room for that many glyphs, of boxes about the line's height (after setAlphaMask()
    // for glyphs that will come as alpha values).
    void reserve(int glyphs, int lineHeight);
    // Trains the model and encodes every glyph added.
    void finish();

    int count() const { return int(m_glyphs.size()); }
    // Glyph i's offset into the streams: its bitmap_index.
    int offset(int i) const { return m_glyphs[size_t(i)].offset; }
    int streamBytes() const { return m_streamBytes; }
    // Glyph i's stream; the longest of them.
    const QByteArray &stream(int i) const { return m_glyphs[size_t(i)].stream; }
    int longestStream() const { return m_longest; }
    // The largest packed glyph, the buffer a packed decode needs (at least 1).
    int largestGlyphBytes() const { return m_largest; }
    const GlyphCodecModel &model() const { return m_model; }

    // The glyph blocks of the bitmap array: "/* ch */", the picture as comment lines,
    // the stream's bytes, two empty lines.
    void appendBlocks(LineBuffer &out) const;
    // Appends glyph i's picture lines and its stream's bytes to `body`; no line break
    // after the last line.
    void appendPictureAndBytes(QString &body, int i) const;
    // After finish(): adds a warning when the streams and the model's tables together
    // take more bytes than the plain bitmaps would (a small set pays more for the
    // tables than it saves).
    void warnIfLargerThanPlain(QStringList &warnings) const;
    // The model tables, the decoder and, for packed rows (LVGL 6 and 8), the buffer
    // "static uint8_t glyph_unpacked[]" of the largest glyph; ends with a line break.
    QString decoderText(bool a8) const;

private:
    // A glyph's levels and picture lie in m_levels and m_pictures: two growing buffers
    // instead of two allocations a glyph, of which the 20902 hanzi made 40,000.
    struct Glyph {
        QChar ch;
        int w = 0, h = 0;
        size_t levelsAt = 0;
        int pictureAt = 0;
        int pictureLength = 0;
        // A glyph kept as alpha values has no stored picture: it is made from them.
        bool alpha = false;
        int alphaWidth = 0, alphaRows = 0;
        QByteArray stream;
        int offset = 0;
    };
    // A glyph of a w x h box whose levels (zeros) are appended to m_levels, and whose
    // picture is empty; the largest box is noted.
    Glyph &startGlyph(QChar ch, int boxW, int boxH);
    int m_bpp;
    StreamEnd m_end;
    int m_largest = 1;
    int m_streamBytes = 0;
    int m_longest = 0;
    std::vector<Glyph> m_glyphs;
    std::vector<uint8_t> m_levels;
    QByteArray m_pictures;   // Latin-1
    bool m_alphaGlyphs = false;   // setAlphaMask() was called: no pictures to keep
    uint8_t m_levelOfAlpha[256] = {};
    ushort m_previewOfAlpha[256] = {};
    GlyphCodecModel m_model;
};

} // namespace qm
