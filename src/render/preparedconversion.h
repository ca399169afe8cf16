#pragma once

#include "render/fonts.h"
#include "request/request.h"

#include <QString>
#include <QStringList>

namespace qm {

// A request resolved once, before anything is drawn: the set as it is converted, the
// fonts at the conversion's size and depth, their line heights, and what the fonts lack.
// The limits, the warnings and every generator take it, so none of them makes the
// conversion's fonts again from the request.
struct PreparedConversion {
    ConversionRequest request;   // its set holds no code unit 0
    ConversionFonts fonts;
    int lineHeight = 0;          // of the conversion font
    int iconLineHeight = 0;      // of the icon font sized like it
    // The line every glyph of a set drawn in one height is drawn in: the text's, or the
    // icons' where the set has icons and those are taller.
    int tallestLine = 0;
    int removedNulls = 0;        // code units 0 taken out of the set
    QStringList lackingWarnings;   // characters the fonts do not draw themselves

    const QString &chars() const { return request.chars; }
};

PreparedConversion prepareConversion(const ConversionRequest &request);

} // namespace qm
