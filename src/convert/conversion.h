#pragma once

#include "progress.h"
#include "request.h"

namespace qm {

// Runs the generator of `kind` on the request. Validation of the request (empty set,
// empty names) is the caller's; a generator may still refuse (result.ok false). Every
// kind alike: code units 0 are left out of the set, and the warnings say so and name
// the characters the chosen font (or the icon font) lacks.
ConversionResult runConversion(GeneratorKind kind, const ConversionRequest &request,
                               ConversionProgress &progress);

} // namespace qm
