#include "generators.h"

namespace qm {

ConversionResult generateUnsortedFont(const ConversionRequest &, ConversionProgress &)
{
    return notAvailableYet(QStringLiteral("unsorted internal font"));
}

} // namespace qm
