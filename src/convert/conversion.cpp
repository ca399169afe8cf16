#include "conversion.h"

#include "generators/generators.h"

namespace qm {

GeneratorKind pickGenerator(int lvVerIndex, int typeIndex, bool sorted)
{
    if (lvVerIndex == 0)
        return GeneratorKind::Legacy;
    if (typeIndex == 1)
        return GeneratorKind::XbfArray;
    if (typeIndex == 2)
        return GeneratorKind::XbfBin;
    return sorted ? GeneratorKind::SortedInternal : GeneratorKind::UnsortedInternal;
}

bool supportsDirectToFile(GeneratorKind kind)
{
    return kind == GeneratorKind::SortedInternal || kind == GeneratorKind::UnsortedInternal
        || kind == GeneratorKind::XbfArray;
}

QString generatorName(GeneratorKind kind)
{
    switch (kind) {
    case GeneratorKind::Legacy: return QStringLiteral("legacy internal font (LVGL 5.3)");
    case GeneratorKind::XbfArray: return QStringLiteral("XBF internal array");
    case GeneratorKind::XbfBin: return QStringLiteral("XBF bin file");
    case GeneratorKind::SortedInternal: return QStringLiteral("sorted internal font");
    case GeneratorKind::UnsortedInternal: return QStringLiteral("unsorted internal font");
    }
    return QString();
}

ConversionResult runConversion(GeneratorKind kind, const ConversionRequest &request,
                               ConversionProgress &progress)
{
    switch (kind) {
    case GeneratorKind::Legacy: return generateLegacyFont(request, progress);
    case GeneratorKind::XbfArray: return generateXbfArray(request, progress);
    case GeneratorKind::XbfBin: return generateXbfBin(request, progress);
    case GeneratorKind::SortedInternal: return generateSortedFont(request, progress);
    case GeneratorKind::UnsortedInternal: return generateUnsortedFont(request, progress);
    }
    ConversionResult r;
    r.ok = false;
    return r;
}

} // namespace qm
