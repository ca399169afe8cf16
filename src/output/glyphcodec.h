#pragma once

// Compressed glyph bitmaps. Each pixel's level is predicted from the pixels already
// decoded around it (left, above, above-left, above-right, and for the shallow depths
// two rows and three columns of them) and coded with rANS against static frequencies
// trained on the glyphs of the one font being written. The contexts are folded into at
// most 256 groups of like distributions, so the tables stay a few kilobytes and every
// glyph decodes alone from its own offset; a small set keys on the nearest neighbours
// alone, in at most 32 groups, when that makes the font smaller.
//
// Stream of a glyph with pixels: the rANS state's bytes (most significant first), then
// the renormalisation bytes in the order the decoder reads them. The decoder takes one
// state byte, and a second while the state is below 256 and the stream has one; it
// refills likewise. A glyph without pixels has no bytes. 8 bpp codes each pixel as two
// symbols, the high nibble then the low one, each with contexts of its own.

#include <QByteArray>
#include <array>
#include <cstdint>
#include <vector>

namespace qm {

// One glyph's pixels: w x h levels, one byte each, rows top to bottom.
struct GlyphLevels {
    int w = 0;
    int h = 0;
    const uint8_t *levels = nullptr;
    // When set, `levels` holds alpha values and this table (256 entries) their levels.
    const uint8_t *levelOfAlpha = nullptr;
};

class GlyphCodecModel
{
public:
    // Eight-bit frequencies keep the tables bytes and lose almost nothing against
    // twelve; a state of 16 bits costs each glyph at most two bytes where 24 bits cost
    // three.
    static constexpr int kProbBits = 8;
    static constexpr uint32_t kProbScale = 1u << kProbBits;
    // Between refills the state lies in [kStateLow, kStateLow << 8).
    static constexpr uint32_t kStateLow = 1u << 8;
    static constexpr int kMaxGroups = 256;
    // A small set cannot pay for a table of every full key (16384 bytes at 4 bpp): its
    // planes may key on the nearest neighbours alone, the full key's low 8 bits, in at
    // most 32 groups. The group table's length tells a reader which.
    static constexpr int kShortKeyBits = 8;
    static constexpr int kShortGroups = 32;
    enum class KeyLayout {
        Smaller,   // per plane, whichever makes the font smaller
        Full,
        Short,
    };

    // A model for `bpp` (1, 2, 4 or 8) that codes every glyph of `glyphs`.
    static GlyphCodecModel train(int bpp, const std::vector<GlyphLevels> &glyphs,
                                 KeyLayout layout = KeyLayout::Smaller);
    // The model whose tables a generated file holds (per plane, the bytes of
    // glyph_model_groupN and glyph_model_cumN); false when they cannot be one for `bpp`.
    static bool fromTables(int bpp, const std::vector<QByteArray> &groups, const std::vector<QByteArray> &cums,
                           GlyphCodecModel *model);

    struct Plane {
        int keyBits = 0;
        int symbols = 0;                            // 2, 4 or 16
        std::vector<uint8_t> groupOfKey;            // 1 << keyBits entries (full or short)
        // Per group: cum[s] for every symbol, each below the scale (the last symbol always
        // keeps a share), and cum[symbols] = scale % 256, so a row fits bytes and a
        // frequency is (uint8_t)(cum[s + 1] - cum[s] - 1) + 1.
        std::vector<std::array<uint8_t, 17>> cum;
        // The bytes both tables take in a generated file.
        int tableBytes() const { return int(groupOfKey.size() + cum.size() * size_t(symbols + 1)); }
    };

    int bpp() const { return m_bpp; }
    int planeCount() const { return m_planeCount; }
    const Plane &plane(int i) const { return m_planes[i]; }

    // The plane's context key of pixel (x, y) whose neighbours are in `levels` (w wide,
    // at least y + 1 rows; only pixels before (x, y) in raster order are read), as long
    // as the plane's keys are. For the second plane `high` is the pixel's own high nibble.
    uint32_t key(int plane, const uint8_t *levels, int w, int x, int y, int high = 0) const;

private:
    int m_bpp = 0;
    int m_planeCount = 0;
    Plane m_planes[2];
};

// Where the decoder will be told a stream ends.
enum class StreamEnd {
    // Exactly at its last byte (the internal fonts: the next glyph's stream starts
    // there). The coder then starts from the smallest state, so the last pixels ride in
    // the state's spare bits and the stream is about a byte shorter.
    Known,
    // Anywhere at or past its last byte (the XBF records, fetched as long as the
    // longest stream). The coder starts from 256, so reading stops by itself.
    Open,
};

// The glyph's stream (empty for a glyph without pixels).
QByteArray encodeGlyph(const GlyphCodecModel &model, const GlyphLevels &glyph, StreamEnd end);
// The streams of many glyphs, on two threads.
void encodeGlyphs(const GlyphCodecModel &model, const std::vector<GlyphLevels> &glyphs, StreamEnd end,
                  std::vector<QByteArray> &streams);

// Decodes the w x h glyph whose stream starts at data + offset and ends at data + size
// into `levels` (w * h bytes). Reads stay inside [data, data + size) whatever the bytes
// hold. Returns false only when the offset lies past the end while the glyph has
// pixels.
bool decodeGlyph(const GlyphCodecModel &model, const uint8_t *data, size_t size, size_t offset, int w,
                 int h, uint8_t *levels);

// The C text a generated file carries: the model tables (static const) and the decoder.
struct GlyphDecoderTarget {
    // LVGL 6 and 8 take packed rows back from the bitmap callback; LVGL 9 has the A8
    // draw buffer filled, rows `stride` bytes apart.
    bool a8 = false;
};
QString glyphDecoderTables(const GlyphCodecModel &model);
// Defines
//   static void __user_font_unpack(const uint8_t * data, uint32_t size, uint32_t offset,
//                                  uint32_t box_w, uint32_t box_h, uint8_t * out, uint32_t stride)
// which writes packed rows (stride = row bytes) or A8 rows of level * 255 / max.
QString glyphDecoderFunction(const GlyphCodecModel &model, const GlyphDecoderTarget &target);

} // namespace qm
