#include "generators.h"

namespace qm {

ConversionResult generateXbfArray(const ConversionRequest &, ConversionProgress &)
{
    return notAvailableYet(QStringLiteral("XBF array"));
}

} // namespace qm
