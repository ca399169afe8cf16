#pragma once

#include <QString>

namespace qm {

// Why `name` cannot name the generated lv_font_t, as the user is told; empty when it
// can. A usable name is an ASCII C identifier, no keyword of C or C++ and none of the
// names that the generated files define or use themselves. Such a name is a safe file
// name as well (the XBF bin kind writes NAME.bin and NAME.c into the chosen folder).
QString fontNameProblem(const QString &name);

} // namespace qm
