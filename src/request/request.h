#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace qm {

// The LVGL generation index of the text for LVGL 9.0 to 9.5.
constexpr int kLvgl9 = 3;

// Which generator a conversion runs; picked from the three options by pickGenerator().
enum class GeneratorKind {
    Legacy,            // LVGL 5.3 and below
    XbfArray,          // XBF table as one C array
    XbfBin,            // XBF table in a .bin file plus a C reader
    SortedInternal,    // lv_font_fmt_txt font, sorted list, binary search
    UnsortedInternal,  // lv_font_fmt_txt font, input order, linear search
};

// lvVerIndex: 0 "5.3 and below", 1 "6.0+", 2 "8.0+", 3 "9.0+"; typeIndex: 0 internal,
// 1 XBF array, 2 XBF bin; sorted: the sort option.
GeneratorKind pickGenerator(int lvVerIndex, int typeIndex, bool sorted);
// Whether the generator's text may go straight to a file chosen before the run.
bool supportsDirectToFile(GeneratorKind kind);
QString generatorName(GeneratorKind kind);

// Everything one conversion needs; built by the window or the CLI.
struct ConversionRequest {
    QString chars;          // the prepared set, one entry per UTF-16 code unit
    int bpp = 4;            // 1, 2, 4 or 8
    int bppMask = 15;       // 1, 3, 15 or 255
    int lvVer = 1;          // 0: 5.3 and below, 1: 6.0+, 2: 8.0+, 3 (kLvgl9): 9.0+
    QFont font;             // the conversion font
    QFont iconFont;         // the icon font (its size is taken from `font`)
    QString iconText;       // characters drawn with the icon font
    QString fontName;       // C identifier of the lv_font_t and base of file names
    QString includeText;    // written after the file header
    QString bppText;        // the bpp as shown in the options ("1", "2", "4", "8")
    QString typeText;       // the output kind as shown in the options
    bool sorted = true;     // the sort option, named in a closing comment
    bool compress = false;  // glyph bitmaps as compressed streams (not for LVGL 5.3)
    QString outputDir;      // XBF bin: the folder for the .bin and .c files
};

struct ConversionResult {
    bool ok = true;          // false: refused before anything was produced; see error
    QString error;           // why it was refused or failed (user-facing)
    QString text;            // the generated C text
    int fontHeight = 0;      // the font height in pixels
    int written = 0;         // characters written (fewer than the set when cancelled)
    bool cancelled = false;
    // Cancelled, and the files it would have replaced were kept at the user's word:
    // nothing was written and `text` is the partial output.
    bool keptExisting = false;
    QStringList filesWritten;
    QStringList warnings;    // user-facing notes about a produced result
};

} // namespace qm
