#include "generators.h"

namespace qm {

ConversionResult generateXbfBin(const ConversionRequest &, ConversionProgress &)
{
    return notAvailableYet(QStringLiteral("XBF bin file"));
}

} // namespace qm
