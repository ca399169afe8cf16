#include "output/fmttxtlimits.h"

namespace qm {

void FmtTxtRangeCheck::addGlyph(int bitmapIndex, int advW, int boxW, int boxH, int ofsX, int ofsY)
{
    if (!m_any) {
        m_any = true;
        m_bitmapIndex = bitmapIndex;
        m_advW = advW;
        m_boxW = boxW;
        m_boxH = boxH;
        m_minOfsX = m_maxOfsX = ofsX;
        m_minOfsY = m_maxOfsY = ofsY;
        return;
    }
    m_bitmapIndex = qMax(m_bitmapIndex, bitmapIndex);
    m_advW = qMax(m_advW, advW);
    m_boxW = qMax(m_boxW, boxW);
    m_boxH = qMax(m_boxH, boxH);
    m_minOfsX = qMin(m_minOfsX, ofsX);
    m_maxOfsX = qMax(m_maxOfsX, ofsX);
    m_minOfsY = qMin(m_minOfsY, ofsY);
    m_maxOfsY = qMax(m_maxOfsY, ofsY);
}

namespace {

struct Findings {
    QStringList &out;
    void above(const char *field, int value, int limit)
    {
        if (value > limit)
            out << QStringLiteral("%1 %2 > %3").arg(QLatin1String(field)).arg(value).arg(limit);
    }
    void below(const char *field, int value, int limit)
    {
        if (value < limit)
            out << QStringLiteral("%1 %2 < %3").arg(QLatin1String(field)).arg(value).arg(limit);
    }
};

} // namespace

void FmtTxtRangeCheck::addBoxOverflows(QStringList &out) const
{
    if (!m_any)
        return;
    Findings f{out};
    f.above("box_w", m_boxW, maxBoxSize);
    f.above("box_h", m_boxH, maxBoxSize);
    f.below("ofs_x", m_minOfsX, minOffset);
    f.above("ofs_x", m_maxOfsX, maxOffset);
    f.below("ofs_y", m_minOfsY, minOffset);
    f.above("ofs_y", m_maxOfsY, maxOffset);
}

QStringList FmtTxtRangeCheck::overflows() const
{
    QStringList out;
    if (!m_any)
        return out;
    Findings f{out};
    f.above("bitmap_index", m_bitmapIndex, maxBitmapIndex);
    f.above("adv_w", m_advW, maxAdvW);
    addBoxOverflows(out);
    return out;
}

QStringList FmtTxtRangeCheck::lvgl6Overflows() const
{
    QStringList out;
    Findings{out}.above("line_height", m_lineHeight, maxLvgl6LineHeight);
    addBoxOverflows(out);
    return out;
}

QString FmtTxtRangeCheck::buildGuard(bool forLvgl6) const
{
    const QStringList over = overflows();
    const QStringList lvgl6 = forLvgl6 ? lvgl6Overflows() : QStringList();
    QStringList lines;
    if (!lvgl6.isEmpty()) {
        lines << QStringLiteral("#if LVGL_VERSION_MAJOR == 6")
              << QStringLiteral("#error \"This font is too large for LVGL 6 whatever lv_conf.h sets (%1): "
                                "convert a smaller size, or use LVGL 7 or later.\"")
                     .arg(lvgl6.join(QStringLiteral(", ")));
    }
    if (!over.isEmpty()) {
        lines << (lines.isEmpty() ? QStringLiteral("#if") : QStringLiteral("#elif"))
                + QStringLiteral(" !defined(LV_FONT_FMT_TXT_LARGE) || LV_FONT_FMT_TXT_LARGE == 0")
              << QStringLiteral("#error \"This font is too large for the default lv_font_fmt_txt_glyph_dsc_t (%1): "
                                "set LV_FONT_FMT_TXT_LARGE to 1 in lv_conf.h, or convert to an XBF output kind.\"")
                     .arg(over.join(QStringLiteral(", ")));
    }
    if (lines.isEmpty())
        return QString();
    lines << QStringLiteral("#endif");
    return lines.join(QLatin1Char('\n'));
}

QString FmtTxtRangeCheck::warning(bool forLvgl6) const
{
    const QStringList over = overflows();
    const QStringList lvgl6 = forLvgl6 ? lvgl6Overflows() : QStringList();
    QStringList notes;
    if (!lvgl6.isEmpty()) {
        notes << QStringLiteral("字库超出LVGL 6能容纳的范围（%1），任何lv_conf.h设置都无法解决，请减小字号或改用LVGL 7及以上/"
                                "The font exceeds what LVGL 6 can hold whatever lv_conf.h sets (%1): "
                                "convert a smaller size, or use LVGL 7 or later.")
                     .arg(lvgl6.join(QStringLiteral(", ")));
    }
    if (!over.isEmpty()) {
        notes << QStringLiteral("字库超出LVGL默认字形描述的范围（%1），需在lv_conf.h中开启LV_FONT_FMT_TXT_LARGE，"
                                "或改用XBF输出类型/The font exceeds LVGL's default glyph descriptor (%1): "
                                "enable LV_FONT_FMT_TXT_LARGE in lv_conf.h or choose an XBF output kind.")
                     .arg(over.join(QStringLiteral(", ")));
    }
    return notes.join(QLatin1Char('\n'));
}

} // namespace qm
