#include "uiresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace, so it cannot be used
// inside namespace qm directly.
static void initPictureResources()
{
    Q_INIT_RESOURCE(pictures);
}

namespace qm {

void initUiResources()
{
    initPictureResources();
}

} // namespace qm
