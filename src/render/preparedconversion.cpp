#include "render/preparedconversion.h"

#include "charset/charset.h"

#include <QFontMetrics>

namespace qm {

PreparedConversion prepareConversion(const ConversionRequest &request)
{
    PreparedConversion prepared;
    prepared.request = request;
    prepared.removedNulls = removeNullChars(prepared.request.chars);
    prepared.fonts = ConversionFonts(request.font, request.iconFont, request.iconText, request.bpp);
    prepared.lineHeight = QFontMetrics(prepared.fonts.text).height();
    prepared.iconLineHeight = QFontMetrics(prepared.fonts.icon).height();

    bool text = false, icon = false;
    for (const QChar ch : prepared.request.chars) {
        (prepared.fonts.isIcon(ch) ? icon : text) = true;
        if (text && icon)
            break;
    }
    prepared.tallestLine = qMax(text ? prepared.lineHeight : 0, icon ? prepared.iconLineHeight : 0);
    prepared.lackingWarnings = lackingGlyphWarnings(prepared.request.chars, prepared.fonts, request.font.family());
    return prepared;
}

} // namespace qm
