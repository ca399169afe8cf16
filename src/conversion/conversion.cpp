#include "conversion/conversion.h"

#include "output/generators.h"
#include "conversion/requestlimits.h"

#include <new>

namespace qm {

namespace {

ConversionResult refused(const QString &error, const QStringList &warnings = QStringList())
{
    ConversionResult result;
    result.ok = false;
    result.error = error;
    result.warnings = warnings;
    return result;
}

ConversionResult runGenerator(GeneratorKind kind, const PreparedConversion &prepared,
                              ConversionProgress &progress)
{
    try {
        switch (kind) {
        case GeneratorKind::Legacy: return generateLegacyFont(prepared, progress);
        case GeneratorKind::XbfArray: return generateXbfArray(prepared, progress);
        case GeneratorKind::XbfBin: return generateXbfBin(prepared, progress);
        case GeneratorKind::SortedInternal: return generateSortedFont(prepared, progress);
        case GeneratorKind::UnsortedInternal: return generateUnsortedFont(prepared, progress);
        }
    } catch (const std::bad_alloc &) {
        // The text of a font grows with its glyphs' size as well as their number; past
        // what the machine (or a QString) holds, the run ends and the caller goes on.
        progress.end();
        return refused(outOfMemoryMessage());
    }
    return refused(QString());
}

} // namespace

ConversionResult runConversion(GeneratorKind kind, const ConversionRequest &request,
                               ConversionProgress &progress)
{
    const PreparedConversion prepared = prepareConversion(request);
    QStringList notes;
    const int nulls = prepared.removedNulls;
    if (nulls > 0) {
        notes << QStringLiteral("字符集中有%1个U+0000（空字符），已略去：字库的编码表以0结尾，它会挡住其后的字符"
                                "/The character set held U+0000 %1 time(s); it was left out, since the "
                                "font's code lists end at a 0 entry and it would hide every later character.")
                     .arg(nulls);
    }
    if (nulls > 0 && prepared.chars().isEmpty()) {
        return refused(QStringLiteral("请输入内容以转换：字符集中只有U+0000"
                                      "/nothing to convert: the character set holds nothing but U+0000"),
                       notes);
    }
    const QString refusal = requestRefusal(kind, prepared);
    if (!refusal.isEmpty())
        return refused(refusal, notes);
    notes << prepared.lackingWarnings;
    notes << emptyGlyphWarnings(prepared.chars(), prepared.fonts);
    ConversionResult result = runGenerator(kind, prepared, progress);
    result.warnings = notes + result.warnings;
    return result;
}

} // namespace qm
