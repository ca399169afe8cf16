#pragma once

#include <QString>

namespace qm {

// The 6763 hanzi of GB 2312 levels 1 and 2 in code order, 啊 first and 齄 last,
// one UTF-16 unit each. Decoded once, on first use, and kept until exit.
QString commonChineseCharacters();

// Every code point from U+4E00 to U+9FA5, ascending (20902 characters).
QString allChineseCharacters();

} // namespace qm
