#pragma once

#include "request/request.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The preview of a converted font: the font is read back out of the output a generator
// wrote (the C text, and the .bin of the XBF bin kind) and a sample text is drawn from
// those bytes the way LVGL's label drawing places glyphs. Nothing is drawn by the font
// engine again, so a wrong offset or a clipped row in the output shows.

namespace qm {

// A glyph as the font's lookup functions hand it to LVGL's letter drawing.
struct PreviewGlyph {
    int advW = 0;              // pixels the pen moves on
    int boxW = 0;
    int boxH = 0;
    int ofsX = 0;
    int ofsY = 0;
    int bpp = 0;               // 1, 2, 4 or 8; LVGL draws nothing for other values
    qint64 bitmap = -1;        // offset of the first bitmap byte in PreviewFont::bitmapBytes()
    qint64 rowBits = 0;        // bits from the start of one row to the next
    bool fromLineTop = false;  // LVGL 5.3 draws a glyph's whole box from the top of the line
};

// A converted font as the firmware will see it: the values in the output and the
// behaviour of its lookup functions.
class PreviewFont
{
public:
    virtual ~PreviewFont() = default;
    // What the font's lookups return for `letter`; false when they find no glyph.
    virtual bool lookup(uint letter, PreviewGlyph *glyph) = 0;
    // Back to the state after start-up (the lookups' one-entry cache).
    virtual void restart() {}
    // The first `count` printable characters the font lists, in its order: a sample
    // for a font of which nothing else is known.
    virtual QString letters(int count) const = 0;

    int lineHeight() const { return m_lineHeight; }
    int baseLine() const { return m_baseLine; }
    int bpp() const { return m_bpp; }
    const QByteArray &bitmapBytes() const { return m_bitmap; }
    // Which kind of output the font was read from, for the user.
    const QString &description() const { return m_description; }

protected:
    int m_lineHeight = 0;
    int m_baseLine = 0;
    int m_bpp = 0;
    QByteArray m_bitmap;
    QString m_description;
};

// The largest .c or .bin file the preview reads: all 20902 hanzi at 64 px in the
// largest text, and small enough that the text and its arrays stay under two gigabytes.
constexpr qint64 kMaxPreviewFileBytes = qint64(512) << 20;

// Reads the font out of a generated C text and, for the XBF bin kind, the .bin file it
// reads. Null, with *error saying why, when the text holds no font of a kind this
// program writes, or one with a value beyond its field's C type, lists past the
// reader's limits, or an XBF table that ends before the glyphs it lists.
std::unique_ptr<PreviewFont> decodePreviewFont(const QString &cText, const QByteArray &bin,
                                               QString *error);

// Where a conversion's output went.
struct PreviewSource {
    QString text;      // the C text as delivered (output pane, standard output); when
                       // empty, cPath is read
    QString cPath;     // the .c file written
    QString binPath;   // the .bin file of the XBF bin kind
};
// A run's output: the files it wrote (the XBF bin kind's .bin and .c), else `cFile`
// when the text went there, else the text itself.
PreviewSource previewSourceOf(const ConversionResult &result, const QString &cFile);
std::unique_ptr<PreviewFont> loadPreviewFont(const PreviewSource &source, QString *error);

// A sample text drawn with a font: LVGL's pixels before any styling.
struct PreviewDrawing {
    QImage opacity;          // Format_Grayscale8: the text colour's opacity per pixel
    QPoint origin;           // the first line's top-left corner within `opacity`
    int lineHeight = 0;
    int baseLine = 0;
    int lines = 1;
    // A letter the font lacks, where it stands: its line, the pen position and how far
    // the pen moved for it (0, or a placeholder box's advance).
    struct Missing {
        int line = 0;
        int x = 0;
        int width = 0;
    };
    std::vector<Missing> missing;
    QString missingLetters;  // each once, in the order of the sample
    QStringList notes;       // reads outside the output's arrays, shortened samples
};

// Lines break at line feeds, as in an LVGL label. With `placeholders`, a missing letter
// gets the box LV_USE_FONT_PLACEHOLDER draws (LVGL 8.3 and later by default).
PreviewDrawing drawPreview(PreviewFont &font, const QString &sample, bool placeholders);

struct PreviewStyle {
    int scale = 1;           // 1, 2, 4 or 8: each pixel as a square of that size
    bool dark = false;       // light text on a dark background
    bool guides = false;     // mark each line's top and bottom and its base line
};
// The drawing in colour, magnified, with missing letters marked. A scale that would
// make the picture larger than 16384 pixels a side or 64 megapixels is lowered until it
// fits, and *note says so. (drawPreview() keeps the drawing itself within the same
// bounds by cutting the sample.)
QImage stylePreview(const PreviewDrawing &drawing, const PreviewStyle &style, QString *note = nullptr);

// Whether the LVGL generation of the options draws placeholder boxes by default.
bool placeholdersByDefault(int lvVer);

// The first characters of `asked` (what the user typed or named, in that order) that a
// sample can show, leaving out control characters; those of `set` when there are none.
QString defaultPreviewSample(const QString &asked, const QString &set);

} // namespace qm
