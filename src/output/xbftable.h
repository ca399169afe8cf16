#pragma once

#include "render/glyphcapture.h"
#include "output/linebuffer.h"
#include "request/progress.h"
#include "request/request.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// The XBF glyph table shared by the array and the bin-file generators: a header
// (min, max, bpp), a dense position table indexed by code - min, then the glyph
// records (a 6-byte glyph_dsc_t and the cropped bitmap) in processing order.
// Everything is little-endian and unpadded; the firmware reads it with one probe.

namespace qm {

constexpr int kXbfHeaderSize = 8;       // sizeof(x_header_t)
constexpr int kXbfDescriptorSize = 6;   // sizeof(glyph_dsc_t)
constexpr int kXbfFieldMax = 255;       // adv_w, box_w, box_h and line_height are 8-bit

// The C typedefs both outputs put after the include line (no trailing line break).
QString buildXbfTypedefs();

class XbfTable
{
public:
    XbfTable(const QString &chars, int bpp);

    uint16_t minCode() const { return m_min; }
    uint16_t maxCode() const { return m_max; }
    int bpp() const { return m_bpp; }
    // Position entries, one per code from min to max; 0 when the set holds only
    // code units 0 (then min > max and no code is found).
    int entryCount() const { return int(m_positions.size()); }
    uint32_t position(int index) const { return m_positions[size_t(index)]; }
    uint32_t recordsOffset() const { return uint32_t(kXbfHeaderSize + 4 * entryCount()); }
    // Where the next record goes.
    uint32_t nextPosition() const { return m_next; }

    // Places the record of `code` (never 0) with `bitmapBytes` bytes of bitmap at the
    // next position; a later record of the same code replaces the entry.
    void addRecord(QChar code, int bitmapBytes);

    void headerBytes(uint8_t out[kXbfHeaderSize]) const;
    // The header and the position table as they open the .bin file.
    QByteArray headerAndPositions() const;

private:
    uint16_t m_min = 0xFFFF;
    uint16_t m_max = 0;
    int m_bpp;
    std::vector<uint32_t> m_positions;
    uint32_t m_next;
};

// The glyph_dsc_t values of one captured glyph.
struct XbfRecord {
    int advance = 0;   // adv_w: the measured width
    int rowBytes = 0;
    int boxW = 0;      // rowBytes * 8 / bpp
    int boxH = 0;      // inked rows
    int ofsY = 0;
    int bitmapBytes() const { return rowBytes * boxH; }
    void descriptorBytes(uint8_t out[kXbfDescriptorSize]) const;
};

// Text glyphs sit on their blank rows below the ink; icons are centred in the line.
XbfRecord makeXbfRecord(const GlyphCapturer::Glyph &glyph, int bpp, int boxH, int rowsBelow,
                        int fontHeight);

class CapturePipeline;
struct CapturedGlyph;

// The glyph loop both XBF kinds run: each character's progress step, then its record,
// checked against the table's 8-bit fields and placed in `table`. `take` gets each glyph
// with its record (the array keeps its text, the bin file writes its bytes) and returns
// why the run must stop, or an empty string. Returns the error that stopped the run;
// a cancel sets result.cancelled, and result.written counts the records.
using XbfRecordSink = std::function<QString(const CapturedGlyph &glyph, const XbfRecord &record)>;
QString runXbfRecords(CapturePipeline &pipeline, const QString &chars, int bpp, int fontHeight, XbfTable &table,
                      ConversionProgress &progress, ConversionResult &result, const XbfRecordSink &take);

// Empty when the value fits; else the user-facing reason the conversion is refused.
// A record that does not fit would be stored as its low bits and misread on the target.
QString xbfLineHeightError(int lineHeight);
QString xbfRecordError(const XbfRecord &record, QChar ch);

// Text shared by both outputs: the file header, the include text, for LVGL 9 its
// version check, and the typedefs, then the two empty lines before the table.
void appendXbfFileStart(LineBuffer &out, const ConversionRequest &request);
// The reader of a 4-byte position, little-endian and byte by byte: the table is a byte
// array of any alignment, and Cortex-M0 faults on an unaligned 32-bit load.
void appendXbfPositionReader(LineBuffer &out);
// The closing comments and the lv_font_t object.
void appendXbfFontObject(LineBuffer &out, const ConversionRequest &request, int fontHeight,
                         const QString &defaultTypeText);

// Calls ConversionProgress::end() however the run leaves, once begin() was called.
class ProgressScope
{
public:
    ProgressScope(ConversionProgress &progress, int total) : m_progress(progress)
    {
        m_progress.begin(total);
    }
    ~ProgressScope() { m_progress.end(); }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

private:
    ConversionProgress &m_progress;
};

} // namespace qm
