#include "fmttxtlimits.h"

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

QStringList FmtTxtRangeCheck::overflows() const
{
    QStringList out;
    if (!m_any)
        return out;
    const auto above = [&out](const char *field, int value, int limit) {
        if (value > limit)
            out << QStringLiteral("%1 %2 > %3").arg(QLatin1String(field)).arg(value).arg(limit);
    };
    const auto below = [&out](const char *field, int value, int limit) {
        if (value < limit)
            out << QStringLiteral("%1 %2 < %3").arg(QLatin1String(field)).arg(value).arg(limit);
    };
    above("bitmap_index", m_bitmapIndex, maxBitmapIndex);
    above("adv_w", m_advW, maxAdvW);
    above("box_w", m_boxW, maxBoxSize);
    above("box_h", m_boxH, maxBoxSize);
    below("ofs_x", m_minOfsX, minOffset);
    above("ofs_x", m_maxOfsX, maxOffset);
    below("ofs_y", m_minOfsY, minOffset);
    above("ofs_y", m_maxOfsY, maxOffset);
    return out;
}

QString FmtTxtRangeCheck::buildGuard() const
{
    const QStringList over = overflows();
    if (over.isEmpty())
        return QString();
    return QStringLiteral("#if !defined(LV_FONT_FMT_TXT_LARGE) || LV_FONT_FMT_TXT_LARGE == 0\n"
                          "#error \"This font is too large for the default lv_font_fmt_txt_glyph_dsc_t (%1): "
                          "set LV_FONT_FMT_TXT_LARGE to 1 in lv_conf.h, or convert to an XBF output kind.\"\n"
                          "#endif")
        .arg(over.join(QStringLiteral(", ")));
}

QString FmtTxtRangeCheck::warning() const
{
    const QStringList over = overflows();
    if (over.isEmpty())
        return QString();
    const QString detail = over.join(QStringLiteral(", "));
    return QStringLiteral("字库超出LVGL默认字形描述的范围（%1），需在lv_conf.h中开启LV_FONT_FMT_TXT_LARGE，"
                          "或改用XBF输出类型/The font exceeds LVGL's default glyph descriptor (%1): "
                          "enable LV_FONT_FMT_TXT_LARGE in lv_conf.h or choose an XBF output kind.")
        .arg(detail);
}

} // namespace qm
