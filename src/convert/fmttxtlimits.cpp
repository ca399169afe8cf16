#include "fmttxtlimits.h"

#include <algorithm>

namespace qm {

namespace {

struct FieldRange {
    const char *name;
    const char *compactWidth;  // how the default layout stores it, for the message
    qint64 compactMin, compactMax;
    qint64 largeMin, largeMax;
    bool inGlyphDsc;
};

const FieldRange kBitmapIndex{"bitmap_index", "20 bits", 0, (1 << 20) - 1, 0, 0xFFFFFFFFLL, false};
const FieldRange kAdvW{"adv_w", "12 bits", 0, (1 << 12) - 1, 0, 0xFFFFFFFFLL, false};
const FieldRange kBoxW{"box_w", "8 bits", 0, 255, 0, 65535, true};
const FieldRange kBoxH{"box_h", "8 bits", 0, 255, 0, 65535, true};
const FieldRange kOfsX{"ofs_x", "int8_t", -128, 127, -32768, 32767, true};
const FieldRange kOfsY{"ofs_y", "int8_t", -128, 127, -32768, 32767, true};

// A name that cannot end the quoted #error text early.
QString quotedSafe(const QString &name)
{
    QString s = name;
    s.remove(QLatin1Char('"'));
    s.remove(QLatin1Char('\\'));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

} // namespace

void FmtTxtLimits::addGlyph(qint64 bitmapIndex, qint64 advW, int boxW, int boxH, int ofsX, int ofsY)
{
    m_maxBitmapIndex = std::max(m_maxBitmapIndex, bitmapIndex);
    m_maxAdvW = std::max(m_maxAdvW, advW);
    m_maxBoxW = std::max(m_maxBoxW, boxW);
    m_maxBoxH = std::max(m_maxBoxH, boxH);
    m_minOfsX = std::min(m_minOfsX, ofsX);
    m_maxOfsX = std::max(m_maxOfsX, ofsX);
    m_minOfsY = std::min(m_minOfsY, ofsY);
    m_maxOfsY = std::max(m_maxOfsY, ofsY);
}

QList<FmtTxtLimits::Finding> FmtTxtLimits::findings(bool large) const
{
    QList<Finding> out;
    auto check = [&](const FieldRange &f, qint64 lo, qint64 hi) {
        const qint64 min = large ? f.largeMin : f.compactMin;
        const qint64 max = large ? f.largeMax : f.compactMax;
        if (lo >= min && hi <= max)
            return;
        QString text = QStringLiteral("%1 reaches %2, outside %3..%4")
                           .arg(QLatin1String(f.name))
                           .arg(hi > max ? hi : lo)
                           .arg(min)
                           .arg(max);
        if (!large)
            text += QStringLiteral(" (%1)").arg(QLatin1String(f.compactWidth));
        out << Finding{text, f.inGlyphDsc};
    };
    check(kBitmapIndex, 0, m_maxBitmapIndex);
    check(kAdvW, 0, m_maxAdvW);
    check(kBoxW, 0, m_maxBoxW);
    check(kBoxH, 0, m_maxBoxH);
    check(kOfsX, m_minOfsX, m_maxOfsX);
    check(kOfsY, m_minOfsY, m_maxOfsY);
    return out;
}

bool FmtTxtLimits::fitsCompact() const
{
    return findings(false).isEmpty();
}

bool FmtTxtLimits::fitsLarge() const
{
    return findings(true).isEmpty();
}

QString FmtTxtLimits::guardText(const QString &fontName) const
{
    const QString name = quotedSafe(fontName);
    QStringList lines;
    const QList<Finding> large = findings(true);
    if (!large.isEmpty()) {
        for (const Finding &f : large)
            lines << QStringLiteral("#error \"%1: glyph descriptor field %2, even with LV_FONT_FMT_TXT_LARGE; "
                                    "convert fewer or smaller characters\"")
                         .arg(name, f.text);
        return lines.join(QLatin1Char('\n'));
    }
    const QList<Finding> compact = findings(false);
    if (compact.isEmpty())
        return QString();
    const bool boxTooBig = std::any_of(compact.begin(), compact.end(),
                                       [](const Finding &f) { return f.inGlyphDsc; });
    lines << (boxTooBig ? QStringLiteral("#if !LV_FONT_FMT_TXT_LARGE || LVGL_VERSION_MAJOR < 7")
                        : QStringLiteral("#if !LV_FONT_FMT_TXT_LARGE"));
    for (const Finding &f : compact) {
        lines << QStringLiteral("#error \"%1: glyph descriptor field %2; %3\"")
                     .arg(name, f.text,
                          f.inGlyphDsc ? QStringLiteral("needs LV_FONT_FMT_TXT_LARGE 1 in lv_conf.h and LVGL 7 "
                                                        "or later (lv_font_glyph_dsc_t keeps it in 8 bits before)")
                                       : QStringLiteral("set LV_FONT_FMT_TXT_LARGE to 1 in lv_conf.h"));
    }
    lines << QStringLiteral("#endif");
    return lines.join(QLatin1Char('\n'));
}

QStringList FmtTxtLimits::warnings(const QString &fontName) const
{
    QStringList out;
    const QList<Finding> large = findings(true);
    if (!large.isEmpty()) {
        for (const Finding &f : large)
            out << QStringLiteral("%1: glyph descriptor field %2; the font cannot be used even with "
                                  "LV_FONT_FMT_TXT_LARGE, and the generated file stops the build with #error.")
                       .arg(fontName, f.text);
        return out;
    }
    for (const Finding &f : findings(false)) {
        out << QStringLiteral("%1: glyph descriptor field %2; the generated file builds only with "
                              "LV_FONT_FMT_TXT_LARGE set to 1 in lv_conf.h%3.")
                   .arg(fontName, f.text, f.inGlyphDsc ? QStringLiteral(" on LVGL 7 or later") : QString());
    }
    return out;
}

} // namespace qm
