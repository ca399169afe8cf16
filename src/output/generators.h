#pragma once

#include "request/progress.h"
#include "request/request.h"

namespace qm {

ConversionResult generateSortedFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateUnsortedFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateLegacyFont(const ConversionRequest &request, ConversionProgress &progress);
// The XBF kinds refuse (ok false, nothing delivered, no file left) a font whose line or
// glyphs do not fit the table's 8-bit fields. A code unit 0 gets its progress step but
// no record, since no table entry can reach it; `written` counts the records.
ConversionResult generateXbfArray(const ConversionRequest &request, ConversionProgress &progress);
// Writes <outputDir>/<fontName>.bin and .c, both through temporaries that replace the
// files of an earlier run together only when both were written; the text is also
// returned. A file that cannot be opened or written fails the run with an error of two
// lines: "打开文件失败" or "写入文件失败" (the message box text), then
// "<path>: <system reason>"; then no temporary remains and the earlier pair is kept.
ConversionResult generateXbfBin(const ConversionRequest &request, ConversionProgress &progress);

} // namespace qm
