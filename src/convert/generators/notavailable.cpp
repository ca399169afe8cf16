#include "generators.h"

namespace qm {

ConversionResult notAvailableYet(const QString &what)
{
    ConversionResult r;
    r.ok = false;
    r.error = QStringLiteral("This output kind (%1) is not available yet.").arg(what);
    return r;
}

} // namespace qm
