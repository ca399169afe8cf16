#pragma once

#include <QString>

namespace qmtest {

// Which of the font families the tests draw with are not installed, each with the
// Debian package that provides it (all come from packages scripts/setup.sh installs);
// empty when every one is there.
QString missingTestFonts();

} // namespace qmtest
