#include "generators.h"

namespace qm {

ConversionResult generateSortedFont(const ConversionRequest &, ConversionProgress &)
{
    return notAvailableYet(QStringLiteral("sorted internal font"));
}

} // namespace qm
