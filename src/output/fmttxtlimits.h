#pragma once

#include <QString>
#include <QStringList>

namespace qm {

// LVGL's lv_font_fmt_txt_glyph_dsc_t packs its fields unless LV_FONT_FMT_TXT_LARGE is
// set: bitmap_index in 20 bits, adv_w in 12, box_w and box_h in 8, the offsets in
// signed 8 bits. A font past those ranges still compiles there, silently truncated,
// so generators that emit such descriptors track the values they write and, when one
// does not fit, stop the build with a clear message instead.
// LVGL 6 keeps box_w, box_h and the offsets in 8 bits even in the large layout, and
// line_height in 8 bits always: no setting helps there, and the guard says so.
class FmtTxtRangeCheck
{
public:
    static constexpr int maxBitmapIndex = 0xFFFFF;
    static constexpr int maxAdvW = 0xFFF;
    static constexpr int maxBoxSize = 0xFF;
    static constexpr int minOffset = -128;
    static constexpr int maxOffset = 127;

    static constexpr int maxLvgl6LineHeight = 0xFF;

    // One descriptor as written into glyph_dsc.
    void addGlyph(int bitmapIndex, int advW, int boxW, int boxH, int ofsX, int ofsY);
    // The font object's line_height.
    void setLineHeight(int lineHeight) { m_lineHeight = lineHeight; }

    bool fitsCompactDescriptor() const { return overflows().isEmpty(); }
    // What does not fit, e.g. "bitmap_index 2650112 > 1048575"; empty when all fits.
    QStringList overflows() const;
    // What LVGL 6 cannot hold whatever its settings, e.g. "line_height 470 > 255".
    QStringList lvgl6Overflows() const;
    // Preprocessor lines to put after the include text (they need lv_conf.h): an #error
    // on LVGL 6 for what it cannot hold (when the text may meet LVGL 6), else an #error
    // unless LV_FONT_FMT_TXT_LARGE is on. Empty when all fits.
    QString buildGuard(bool forLvgl6 = false) const;
    // A note for ConversionResult::warnings; empty when all fits.
    QString warning(bool forLvgl6 = false) const;

private:
    // box_w, box_h and the offsets: 8 bits in the compact layout and in all of LVGL 6.
    void addBoxOverflows(QStringList &out) const;

    bool m_any = false;
    int m_bitmapIndex = 0;
    int m_advW = 0;
    int m_boxW = 0;
    int m_boxH = 0;
    int m_minOfsX = 0;
    int m_maxOfsX = 0;
    int m_minOfsY = 0;
    int m_maxOfsY = 0;
    int m_lineHeight = 0;
};

} // namespace qm
