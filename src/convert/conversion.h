#pragma once

#include "progress.h"
#include "request.h"

namespace qm {

// Runs the generator of `kind` on the request. Validation of the request (empty set,
// empty names) is the caller's; a generator may still refuse (result.ok false).
ConversionResult runConversion(GeneratorKind kind, const ConversionRequest &request,
                               ConversionProgress &progress);

} // namespace qm
