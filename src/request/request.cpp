#include "request/request.h"

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

} // namespace qm
