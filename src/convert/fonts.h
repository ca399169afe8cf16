#pragma once

#include <QString>
#include <QStringList>

namespace qm {

// The family the options name by default; it is a Windows font.
QString defaultFontFamily();
// The CJK families that stand in for the default family where it is missing, best first.
QStringList cjkFallbackFamilies();
// Registers the stand-ins as substitutes of the default family, so that both drawn
// text and raw-font glyphs of a default conversion come from a face with Chinese glyphs.
// Call once after the application object exists.
void installFontSubstitutions();

} // namespace qm
