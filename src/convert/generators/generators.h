#pragma once

#include "convert/progress.h"
#include "convert/request.h"

namespace qm {

ConversionResult generateSortedFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateUnsortedFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateLegacyFont(const ConversionRequest &request, ConversionProgress &progress);
// The XBF kinds refuse (ok false, nothing delivered, no file left) a font whose line or
// glyphs do not fit the table's 8-bit fields. A code unit 0 gets its progress step but
// no record, since no table entry can reach it; `written` counts the records.
ConversionResult generateXbfArray(const ConversionRequest &request, ConversionProgress &progress);
// Writes <outputDir>/<fontName>.bin and .c (records go to a .temp while rendering); the
// text is also returned. A .temp or .bin that cannot be opened or written fails the run
// with an error of two lines: "打开文件失败" or "写入文件失败" (the message box text),
// then "<path>: <reason>"; no .temp and no partial .bin remain, and an earlier .bin is
// kept. A .c that cannot be written leaves ok true and adds a warning naming it.
ConversionResult generateXbfBin(const ConversionRequest &request, ConversionProgress &progress);

// A generator that is not built yet refuses with this message.
ConversionResult notAvailableYet(const QString &what);

} // namespace qm
