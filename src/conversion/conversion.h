#pragma once

#include "request/progress.h"
#include "request/request.h"

namespace qm {

// Runs the generator of `kind` on the request. Validation of the request (empty set,
// empty names) is the caller's. Every kind alike: code units 0 are left out of the set,
// and the warnings say so and name the characters the chosen font (or the icon font)
// lacks. A request the kind cannot hold (requestRefusal()) is refused before anything
// is drawn, a run that runs out of memory ends with a message, and a generator may
// refuse on its own; all give result.ok false.
ConversionResult runConversion(GeneratorKind kind, const ConversionRequest &request,
                               ConversionProgress &progress);

} // namespace qm
