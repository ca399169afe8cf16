#pragma once

#include <QString>
#include <QStringList>

namespace qm {

// The field widths of lv_font_fmt_txt_glyph_dsc_t. LVGL packs the descriptor tightly
// by default (bitmap_index 20 bits, adv_w 12 bits, box_w/box_h 8 bits, offsets int8);
// LV_FONT_FMT_TXT_LARGE widens it (32-bit index and advance, 16-bit box and offsets).
// The box and offsets are also copied into lv_font_glyph_dsc_t, which keeps them in
// 8 bits before LVGL 7. A value that does not fit is silently cut by the C compiler and
// the font draws the wrong pixels, so the generators record every descriptor here and
// put a guard into the generated file that stops the build instead.
class FmtTxtLimits
{
public:
    // One descriptor as written (adv_w in the unit the generator writes).
    void addGlyph(qint64 bitmapIndex, qint64 advW, int boxW, int boxH, int ofsX, int ofsY);

    // Everything fits the default layout: no guard needed.
    bool fitsCompact() const;
    // Everything fits once LV_FONT_FMT_TXT_LARGE is set (on LVGL 7 or later for the box).
    bool fitsLarge() const;

    // Preprocessor lines for right after the include text: "#if !LV_FONT_FMT_TXT_LARGE"
    // (with "|| LVGL_VERSION_MAJOR < 7" when the box overflows), "#error ...", "#endif";
    // or unconditional "#error" lines when even the large layout is too small.
    // Empty when everything fits.
    QString guardText(const QString &fontName) const;
    // The same findings for the user, one line per field that overflows.
    QStringList warnings(const QString &fontName) const;

private:
    struct Finding {
        QString text;
        bool inGlyphDsc;  // also held by lv_font_glyph_dsc_t
    };
    QList<Finding> findings(bool large) const;

    qint64 m_maxBitmapIndex = 0;
    qint64 m_maxAdvW = 0;
    int m_maxBoxW = 0;
    int m_maxBoxH = 0;
    int m_minOfsX = 0, m_maxOfsX = 0;
    int m_minOfsY = 0, m_maxOfsY = 0;
};

} // namespace qm
