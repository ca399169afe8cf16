#pragma once

#include "request/progress.h"
#include "request/request.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

namespace qmtest {

// The FontAwesome web font of the system, registered once; its family name, or empty.
QString fontAwesomeFamily();

// A request for the XBF generators with the usual test names ("myFont", lvgl.h).
qm::ConversionRequest xbfRequest(const QString &chars, int bpp, const QFont &font,
                                 const QFont &iconFont = QFont(), const QString &iconText = QString());

// One record of an XBF table.
struct XbfGlyph {
    int adv = 0, boxW = 0, boxH = 0, ofsX = 0, ofsY = 0, r = 0;
    QByteArray bitmap;
    bool operator==(const XbfGlyph &o) const
    {
        return adv == o.adv && boxW == o.boxW && boxH == o.boxH && ofsX == o.ofsX && ofsY == o.ofsY
            && r == o.r && bitmap == o.bitmap;
    }
};

// An independent reader of an XBF table; `error` is set when the bytes are not one.
struct XbfTableView {
    QString error;
    uint16_t min = 0, max = 0;
    int bpp = 0;
    QList<uint32_t> positions;          // one per code from min to max
    QMap<uint32_t, XbfGlyph> records;   // by offset, every record in the file
    QList<uint32_t> recordOrder;        // offsets in file order
    uint32_t position(uint32_t code) const
    {
        return code < min || code > max ? 0 : positions.value(int(code - min));
    }
};
XbfTableView readXbfTable(const QByteArray &bytes);

// The bytes a C compiler makes of the glyph_dsc_xbf initialiser in the array kind's
// text (comments dropped, decimal and hex literals, negative values as two's complement).
QByteArray xbfArrayBytes(const QString &text);

// The bin kind's reader completed as its comments tell the user: the suggested buffer
// declared and the data-access function filled in, here with the .bin's bytes compiled
// in. Every read lands one byte past an aligned address, as a byte buffer may lie on
// the target, so a reader that needs alignment trips -fsanitize=alignment; a read that
// the suggested buffer cannot hold ends the program with "overflow". Empty when the
// text lacks the parts to complete.
QByteArray completeBinReader(QString text, const QByteArray &bin);

// The array kind's text with glyph_dsc_xbf one byte past an aligned address, for the
// same reason.
QByteArray misalignXbfArray(QString text);

// What the capture of `ch` must give as a record, worked out from the capturer directly.
XbfGlyph expectedXbfGlyph(const qm::ConversionRequest &request, QChar ch);

// Remembers what a generator told its progress and cancels before `cancelAt` (or never).
class RecordingProgress : public qm::ConversionProgress
{
public:
    explicit RecordingProgress(int cancelAt = -1) : m_cancelAt(cancelAt) {}
    void begin(int total) override
    {
        ++begins;
        this->total = total;
    }
    bool step(int index, QChar ch, const QFont &, int width, int height) override
    {
        indices << index;
        chars += ch;
        sizes << qMakePair(width, height);
        return m_cancelAt < 0 || index < m_cancelAt;
    }
    void end() override { ++ends; }

    int begins = 0, ends = 0, total = -1;
    QList<int> indices;
    QString chars;
    QList<QPair<int, int>> sizes;

private:
    int m_cancelAt;
};

} // namespace qmtest
