#include "output/lvgltext.h"

namespace qm {

void appendPlaceholderReset(LineBuffer &out, int indent)
{
    out.append(QLatin1String(
        "#if LVGL_VERSION_MAJOR > 8 || (LVGL_VERSION_MAJOR == 8 && LVGL_VERSION_MINOR >= 2)"));
    out.append(QString(indent, QLatin1Char(' ')) + QLatin1String("dsc_out->is_placeholder = 0;"));
    out.append(QLatin1String("#endif"));
}

void appendGlyphDscCopy(LineBuffer &out, int indent, const QString &bppSource, bool resetPlaceholder)
{
    const QString pad(indent, QLatin1Char(' '));
    for (const char *field : {"adv_w", "box_h", "box_w", "ofs_x", "ofs_y"})
        out.append(pad + QStringLiteral("dsc_out->%1 = gdsc->%1;").arg(QLatin1String(field)));
    out.append(pad + QLatin1String("dsc_out->bpp   = ") + bppSource + QLatin1Char(';'));
    if (resetPlaceholder)
        appendPlaceholderReset(out, indent);
    out.append(pad + QLatin1String("return true;"));
}

void appendFontObjectOpening(LineBuffer &out, const QString &fontName)
{
    out.append(QLatin1String("extern const lv_font_t ") + fontName + QLatin1Char(';'));
    out.append(QLatin1String("const lv_font_t ") + fontName + QLatin1String(" = {"));
}

} // namespace qm
