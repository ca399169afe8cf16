#pragma once

namespace qm {

// Registers the window's embedded pictures (":/pic/..."). They are compiled into a
// static library, whose resource object the linker would otherwise leave out.
// Call before building any widget that shows them; calling again does no harm.
void initUiResources();

} // namespace qm
