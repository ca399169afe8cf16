#pragma once

#include "convert/progress.h"
#include "convert/request.h"

namespace qm {

ConversionResult generateSortedFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateUnsortedFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateLegacyFont(const ConversionRequest &request, ConversionProgress &progress);
ConversionResult generateXbfArray(const ConversionRequest &request, ConversionProgress &progress);
// Writes <outputDir>/<fontName>.bin and .c; the text is also returned.
ConversionResult generateXbfBin(const ConversionRequest &request, ConversionProgress &progress);

// A generator that is not built yet refuses with this message.
ConversionResult notAvailableYet(const QString &what);

} // namespace qm
