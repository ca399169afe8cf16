#include "generators.h"

namespace qm {

ConversionResult generateLegacyFont(const ConversionRequest &, ConversionProgress &)
{
    return notAvailableYet(QStringLiteral("LVGL 5.3 font"));
}

} // namespace qm
