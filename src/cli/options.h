#pragma once

#include "render/fonts.h"

#include <QString>
#include <QStringList>

namespace qm {
namespace cli {

// The output kinds, in the order of the window's type list.
enum class OutputType { Internal = 0, XbfArray = 1, XbfBin = 2 };

// Everything the command line can say; the defaults are the window's defaults.
struct Options {
    QStringList texts;        // --text, in the order given
    QStringList textFiles;    // --text-file, in the order given; read after all --text
    QString addedChars;       // --common-hanzi, --all-hanzi and --range, in the order given;
                              // they follow the text files
    bool ascii = true;
    bool dedupe = false;
    bool sort = true;
    bool compress = false;
    QString icons;            // --icons, then the code points of --icon-codes
    QString font = defaultFontFamily();  // a family, or a font file to register
    QString style = QStringLiteral("Regular");
    bool styleGiven = false;  // --style was given: a font file's own style does not apply
    int pointSize = 12;
    int pixelSize = 0;        // > 0: --pixel-size was given and wins over the point size
    int bpp = 4;
    int lvVer = 1;            // 0: LVGL 5.3 and below, 1: 6.0+, 2: 8.0+, 3: 9.0+
    OutputType type = OutputType::Internal;
    QString name = QStringLiteral("myFont");
    QString include = QStringLiteral("#include \"lvgl.h\"");
    QString outputFile;       // empty: standard output
    QString outputDir;        // xbf-bin only
    QString previewFile;      // --preview: a PNG of the sample drawn from the output
    QString previewSourceFile;  // --preview-file: draw this existing .c instead of converting
    QString previewBinFile;     // --bin: the .bin the --preview-file reader reads
    QString previewText;      // --preview-text; empty: the first characters of the set
    int previewScale = 1;
    bool previewDark = false;
    bool previewGuides = false;
    bool quiet = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments that follow the program name. On false *error says what is wrong
// (a usage error); *options then holds whatever was parsed before the mistake.
bool parseArguments(const QStringList &arguments, Options *options, QString *error);

// "0x20-0x7F,0x4E00-0x9FA5,0x2103,32-127": the characters of each range in the order
// given, code points 0x1 to 0xFFFF outside the surrogates. False with *error otherwise.
bool parseRanges(const QString &spec, QString *chars, QString *error);

// "-", /dev/stdout and its other names: the C text goes to standard output.
bool isStandardOutputName(const QString &path);

QString helpText();
QString versionText();

} // namespace cli
} // namespace qm
