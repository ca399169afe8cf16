#pragma once

#include "request/progress.h"
#include "render/preparedconversion.h"
#include "request/request.h"

namespace qm {

ConversionResult generateSortedFont(const PreparedConversion &prepared, ConversionProgress &progress);
ConversionResult generateUnsortedFont(const PreparedConversion &prepared, ConversionProgress &progress);
ConversionResult generateLegacyFont(const PreparedConversion &prepared, ConversionProgress &progress);
// The XBF kinds refuse (ok false, nothing delivered, no file left) a font whose glyphs do
// not fit the table's 8-bit fields (a line too tall is refused with the other limits);
// `written` counts the records.
ConversionResult generateXbfArray(const PreparedConversion &prepared, ConversionProgress &progress);
// Writes <outputDir>/<fontName>.bin and .c, both through temporaries that replace the
// files of an earlier run together only when both were written; the text is also
// returned. A file that cannot be opened or written fails the run with an error of two
// lines: "打开文件失败" or "写入文件失败" (the message box text), then
// "<path>: <system reason>"; then no temporary remains and the earlier pair is kept.
ConversionResult generateXbfBin(const PreparedConversion &prepared, ConversionProgress &progress);

// For callers that hold a request and nothing else (tests, tools): each prepares it first.
inline ConversionResult generateSortedFont(const ConversionRequest &request, ConversionProgress &progress)
{
    return generateSortedFont(prepareConversion(request), progress);
}
inline ConversionResult generateUnsortedFont(const ConversionRequest &request, ConversionProgress &progress)
{
    return generateUnsortedFont(prepareConversion(request), progress);
}
inline ConversionResult generateLegacyFont(const ConversionRequest &request, ConversionProgress &progress)
{
    return generateLegacyFont(prepareConversion(request), progress);
}
inline ConversionResult generateXbfArray(const ConversionRequest &request, ConversionProgress &progress)
{
    return generateXbfArray(prepareConversion(request), progress);
}
inline ConversionResult generateXbfBin(const ConversionRequest &request, ConversionProgress &progress)
{
    return generateXbfBin(prepareConversion(request), progress);
}

} // namespace qm
