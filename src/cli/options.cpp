#include "options.h"

#include "charset/chartables.h"
#include "request/request.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace qm {
namespace cli {

namespace {

// Largest size accepted; far beyond any LVGL screen, small enough to stay sane.
constexpr int kMaxSize = 1000;

bool parseSize(const QString &text, int *value)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v <= 0 || v > kMaxSize)
        return false;
    *value = v;
    return true;
}

// "f000", "F000", "0xf000", "U+F000"; separated by commas or spaces.
bool parseIconCodes(const QString &text, QString *icons, QString *error)
{
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        *error = QStringLiteral("--icon-codes needs at least one hexadecimal code point, such as f000");
        return false;
    }
    for (QString part : parts) {
        if (part.startsWith(QLatin1String("U+"), Qt::CaseInsensitive)
            || part.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            part = part.mid(2);
        bool ok = false;
        const uint code = part.toUInt(&ok, 16);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (!ok || part.size() > 6 || code == 0 || code > 0x10FFFF || surrogate) {
            *error = QStringLiteral("--icon-codes: \"%1\" is not a hexadecimal code point such as f000")
                         .arg(part);
            return false;
        }
        const char32_t ucs4 = code;
        icons->append(QString::fromUcs4(&ucs4, 1));
    }
    return true;
}

// "0x2103" or "8451"; false for anything else.
bool parseCodePoint(const QString &text, uint *value)
{
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9A-Fa-f]{1,8}$"));
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,10}$"));
    bool ok = false;
    qulonglong v = 0;
    if (hex.match(text).hasMatch())
        v = text.mid(2).toULongLong(&ok, 16);
    else if (decimal.match(text).hasMatch())
        v = text.toULongLong(&ok, 10);
    *value = v > 0x10FFFF ? 0x110000u : uint(v);
    return ok;
}

} // namespace

bool parseRanges(const QString &spec, QString *chars, QString *error)
{
    const auto junk = [&](const QString &item) {
        *error = QStringLiteral("--range: \"%1\" is not a code point or a range such as 0x2103, "
                                "0x20-0x7F or 32-127").arg(item);
        return false;
    };
    QString out;
    for (const QString &rawItem : spec.split(QLatin1Char(','))) {
        const QString item = rawItem.trimmed();
        const QStringList ends = item.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return junk(item);
        uint first = 0, last = 0;
        if (!parseCodePoint(ends.first().trimmed(), &first) || !parseCodePoint(ends.last().trimmed(), &last))
            return junk(item);
        for (const uint v : {first, last}) {
            if (v < 1 || v > 0xFFFF) {
                *error = QStringLiteral("--range: %1 is outside 0x1-0xFFFF, the characters a font "
                                        "of this program can hold").arg(item);
                return false;
            }
        }
        if (last < first) {
            *error = QStringLiteral("--range: %1 runs backwards; the first code point must not be "
                                    "larger than the last").arg(item);
            return false;
        }
        if (first <= 0xDFFF && last >= 0xD800) {
            *error = QStringLiteral("--range: %1 holds surrogates (0xD800-0xDFFF), which are not "
                                    "characters; leave them out, e.g. 0x1-0xD7FF,0xE000-0xFFFF").arg(item);
            return false;
        }
        for (uint code = first; code <= last; ++code)
            out += QChar(ushort(code));
    }
    *chars += out;
    return true;
}

bool parseArguments(const QStringList &arguments, Options *options, QString *error)
{
    QString dummyError;
    if (!error)
        error = &dummyError;
    Options &o = *options;
    QString iconCodes;
    bool typeGiven = false;
    bool sizeGiven = false;
    QString previewOptionGiven;

    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        QString value;
        bool hasInlineValue = false;
        if (arg.startsWith(QLatin1String("--"))) {
            const int eq = arg.indexOf(QLatin1Char('='));
            if (eq > 0) {
                value = arg.mid(eq + 1);
                arg = arg.left(eq);
                hasInlineValue = true;
            }
        }
        // Fetches the option's value: "--opt=value" or the next argument, whatever it looks like.
        auto takeValue = [&]() -> bool {
            if (hasInlineValue)
                return true;
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("option %1 needs a value (see --help)").arg(arg);
                return false;
            }
            value = arguments.at(++i);
            return true;
        };
        // A value that must not be empty (file and font names); `what` says what it names.
        auto takeNonEmpty = [&](const QString &what) -> bool {
            if (!takeValue())
                return false;
            if (value.isEmpty()) {
                *error = QStringLiteral("%1 needs %2").arg(arg, what);
                return false;
            }
            return true;
        };
        // Bits per pixel and magnifications: one of 1, 2, 4, 8.
        auto takePowerOfTwo = [&](int *target) -> bool {
            if (!takeValue())
                return false;
            const QStringList allowed{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4"),
                                      QStringLiteral("8")};
            if (!allowed.contains(value)) {
                *error = QStringLiteral("%1: \"%2\" is not one of 1, 2, 4, 8").arg(arg, value);
                return false;
            }
            *target = value.toInt();
            return true;
        };
        auto flag = [&](bool *target, bool state) -> bool {
            if (hasInlineValue) {
                *error = QStringLiteral("option %1 takes no value").arg(arg);
                return false;
            }
            *target = state;
            return true;
        };
        auto addSet = [&](const QString &set) -> bool {
            bool unused;
            if (!flag(&unused, true))
                return false;
            o.addedChars += set;
            return true;
        };

        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            o.help = true;
            return true;
        }
        if (arg == QLatin1String("--version")) {
            o.version = true;
            return true;
        }

        bool ok = true;
        if (arg == QLatin1String("--text")) {
            ok = takeValue();
            if (ok)
                o.texts << value;
        } else if (arg == QLatin1String("--text-file")) {
            ok = takeNonEmpty(QStringLiteral("a file name"));
            if (ok)
                o.textFiles << value;
        } else if (arg == QLatin1String("--common-hanzi")) {
            ok = addSet(commonChineseCharacters());
        } else if (arg == QLatin1String("--all-hanzi")) {
            ok = addSet(allChineseCharacters());
        } else if (arg == QLatin1String("--range")) {
            ok = takeValue() && parseRanges(value, &o.addedChars, error);
        } else if (arg == QLatin1String("--ascii")) {
            ok = flag(&o.ascii, true);
        } else if (arg == QLatin1String("--no-ascii")) {
            ok = flag(&o.ascii, false);
        } else if (arg == QLatin1String("--dedupe")) {
            ok = flag(&o.dedupe, true);
        } else if (arg == QLatin1String("--no-dedupe")) {
            ok = flag(&o.dedupe, false);
        } else if (arg == QLatin1String("--sort")) {
            ok = flag(&o.sort, true);
        } else if (arg == QLatin1String("--no-sort")) {
            ok = flag(&o.sort, false);
        } else if (arg == QLatin1String("--icons")) {
            ok = takeValue();
            if (ok)
                o.icons += value;
        } else if (arg == QLatin1String("--icon-codes")) {
            ok = takeValue() && parseIconCodes(value, &iconCodes, error);
        } else if (arg == QLatin1String("--font")) {
            ok = takeNonEmpty(QStringLiteral("a font family or a font file"));
            if (ok)
                o.font = value;
        } else if (arg == QLatin1String("--style")) {
            ok = takeValue();
            if (ok) {
                o.style = value;
                o.styleGiven = true;
            }
        } else if (arg == QLatin1String("--size")) {
            ok = takeValue();
            if (ok && !parseSize(value, &o.pointSize)) {
                *error = QStringLiteral("--size: \"%1\" is not a size in points from 1 to %2")
                             .arg(value).arg(kMaxSize);
                ok = false;
            }
            sizeGiven = true;
        } else if (arg == QLatin1String("--pixel-size")) {
            ok = takeValue();
            if (ok && !parseSize(value, &o.pixelSize)) {
                *error = QStringLiteral("--pixel-size: \"%1\" is not a size in pixels from 1 to %2")
                             .arg(value).arg(kMaxSize);
                ok = false;
            }
        } else if (arg == QLatin1String("--compress")) {
            o.compress = true;
        } else if (arg == QLatin1String("--bpp")) {
            ok = takePowerOfTwo(&o.bpp);
        } else if (arg == QLatin1String("--lvgl")) {
            ok = takeValue();
            if (ok) {
                if (value == QLatin1String("5.3") || value == QLatin1String("5"))
                    o.lvVer = 0;
                else if (value == QLatin1String("6") || value == QLatin1String("6.0"))
                    o.lvVer = 1;
                else if (value == QLatin1String("8") || value == QLatin1String("8.0"))
                    o.lvVer = 2;
                else if (value == QLatin1String("9") || value == QLatin1String("9.0"))
                    o.lvVer = kLvgl9;
                else {
                    *error = QStringLiteral("--lvgl: \"%1\" is not one of 5.3, 6, 8, 9").arg(value);
                    ok = false;
                }
            }
        } else if (arg == QLatin1String("--type")) {
            ok = takeValue();
            if (ok) {
                if (value == QLatin1String("internal"))
                    o.type = OutputType::Internal;
                else if (value == QLatin1String("xbf-array"))
                    o.type = OutputType::XbfArray;
                else if (value == QLatin1String("xbf-bin"))
                    o.type = OutputType::XbfBin;
                else {
                    *error = QStringLiteral("--type: \"%1\" is not one of internal, xbf-array, xbf-bin")
                                 .arg(value);
                    ok = false;
                }
                typeGiven = true;
            }
        } else if (arg == QLatin1String("--name")) {
            ok = takeValue();
            if (ok)
                o.name = value;
        } else if (arg == QLatin1String("--include")) {
            ok = takeValue();
            if (ok)
                o.include = value;
        } else if (arg == QLatin1String("-o") || arg == QLatin1String("--output")) {
            ok = takeNonEmpty(QStringLiteral("a file name"));
            if (ok)
                o.outputFile = value;
        } else if (arg == QLatin1String("--output-dir")) {
            ok = takeNonEmpty(QStringLiteral("a folder name"));
            if (ok)
                o.outputDir = value;
        } else if (arg == QLatin1String("--preview")) {
            ok = takeNonEmpty(QStringLiteral("a file name, such as preview.png"));
            if (ok)
                o.previewFile = value;
        } else if (arg == QLatin1String("--preview-file")) {
            ok = takeNonEmpty(QStringLiteral("a C file written by this program, such as font.c"));
            if (ok)
                o.previewSourceFile = value;
        } else if (arg == QLatin1String("--bin")) {
            ok = takeNonEmpty(QStringLiteral("the .bin file of an xbf-bin font"));
            if (ok)
                o.previewBinFile = value;
        } else if (arg == QLatin1String("--preview-text")) {
            ok = takeValue();
            if (ok)
                o.previewText = value;
            previewOptionGiven = arg;
        } else if (arg == QLatin1String("--preview-scale")) {
            ok = takePowerOfTwo(&o.previewScale);
            previewOptionGiven = arg;
        } else if (arg == QLatin1String("--preview-dark")) {
            ok = flag(&o.previewDark, true);
            previewOptionGiven = arg;
        } else if (arg == QLatin1String("--preview-guides")) {
            ok = flag(&o.previewGuides, true);
            previewOptionGiven = arg;
        } else if (arg == QLatin1String("-q") || arg == QLatin1String("--quiet")) {
            ok = flag(&o.quiet, true);
        } else if (arg == QLatin1String("-v") || arg == QLatin1String("--verbose")) {
            ok = flag(&o.verbose, true);
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            *error = QStringLiteral("unknown option %1 (see --help)").arg(arg);
            ok = false;
        } else {
            *error = QStringLiteral("unexpected argument \"%1\"; characters are given with --text "
                                    "(see --help)").arg(arg);
            ok = false;
        }
        if (!ok)
            return false;
    }

    o.icons += iconCodes;

    if (!o.previewBinFile.isEmpty() && o.previewSourceFile.isEmpty()) {
        *error = QStringLiteral("--bin names the .bin of a font given with --preview-file FONT.c");
        return false;
    }
    if (!o.previewSourceFile.isEmpty()) {
        // Drawing a font that exists converts nothing; options that only make sense for
        // a conversion would silently do nothing, so they are refused.
        if (o.previewFile.isEmpty()) {
            *error = QStringLiteral("--preview-file draws into the picture given with --preview FILE.png");
            return false;
        }
        const QStringList conversionOnly{
            o.texts.isEmpty() ? QString() : QStringLiteral("--text"),
            o.textFiles.isEmpty() ? QString() : QStringLiteral("--text-file"),
            o.addedChars.isEmpty() ? QString() : QStringLiteral("--common-hanzi, --all-hanzi and --range"),
            o.icons.isEmpty() ? QString() : QStringLiteral("--icons and --icon-codes"),
            o.outputFile.isEmpty() ? QString() : QStringLiteral("-o"),
            o.outputDir.isEmpty() ? QString() : QStringLiteral("--output-dir")};
        for (const QString &given : conversionOnly) {
            if (!given.isEmpty()) {
                *error = QStringLiteral("--preview-file draws an existing font and converts nothing; "
                                        "%1 does not apply").arg(given);
                return false;
            }
        }
        // A link named as the picture may lead to the font itself.
        const auto samePlace = [](const QString &a, const QString &b) {
            const QFileInfo x(a), y(b);
            return x.absoluteFilePath() == y.absoluteFilePath()
                || (x.exists() && y.exists() && x.canonicalFilePath() == y.canonicalFilePath());
        };
        for (const QString &input : {o.previewSourceFile, o.previewBinFile}) {
            if (!input.isEmpty() && samePlace(input, o.previewFile)) {
                *error = QStringLiteral("--preview %1 would replace the font it draws").arg(o.previewFile);
                return false;
            }
        }
        return true;
    }
    if (!previewOptionGiven.isEmpty() && o.previewFile.isEmpty()) {
        *error = QStringLiteral("%1 needs --preview FILE.png").arg(previewOptionGiven);
        return false;
    }
    if (sizeGiven && o.pixelSize > 0) {
        *error = QStringLiteral("give either --size or --pixel-size, not both");
        return false;
    }
    if (o.lvVer == 0 && typeGiven && o.type != OutputType::Internal) {
        *error = QStringLiteral("LVGL 5.3 fonts are always internal fonts; --type %1 needs --lvgl 6, 8 or 9")
                     .arg(o.type == OutputType::XbfArray ? QStringLiteral("xbf-array")
                                                         : QStringLiteral("xbf-bin"));
        return false;
    }
    if (o.lvVer == 0 && o.compress) {
        *error = QStringLiteral("LVGL 5.3 fonts cannot hold compressed glyphs (LVGL draws their "
                                "bitmaps itself); --compress needs --lvgl 6, 8 or 9");
        return false;
    }
    if (o.type == OutputType::XbfBin) {
        if (o.outputDir.isEmpty()) {
            *error = QStringLiteral("--type xbf-bin writes NAME.bin and NAME.c into a folder; "
                                    "give it with --output-dir DIR");
            return false;
        }
        if (!o.outputFile.isEmpty()) {
            *error = QStringLiteral("--type xbf-bin writes its C file into --output-dir; -o does not apply");
            return false;
        }
    } else if (!o.outputDir.isEmpty()) {
        *error = QStringLiteral("--output-dir only applies to --type xbf-bin; use -o FILE for the C text");
        return false;
    }
    // Standard output is written through the descriptor the shell handed over, which
    // keeps its position (and >>'s appending); it is never a file to replace.
    if (isStandardOutputName(o.outputFile))
        o.outputFile.clear();
    return true;
}

bool isStandardOutputName(const QString &path)
{
    return path == QLatin1String("-") || path == QLatin1String("/dev/stdout")
        || path == QLatin1String("/dev/fd/1") || path == QLatin1String("/proc/self/fd/1");
}

QString versionText()
{
    return QStringLiteral("quillmark-cli 0.5\n");
}

QString helpText()
{
    return QStringLiteral(
R"(Usage: quillmark-cli [OPTIONS]

Turns an outline font and a set of characters into the C source of an LVGL font
(lv_font_t), so firmware can draw exactly those characters without a font engine.
For the same options the text is byte for byte what the Quillmark window writes.
The C text goes to standard output, or to a file with -o.

Characters (at least one character is needed):
  --text TEXT          characters to convert; may be repeated
  --text-file FILE     text file (UTF-8, UTF-16 or GB 18030) whose characters are
                       converted ("-" reads standard input); read after every --text,
                       may be repeated
  --ascii, --no-ascii  put the 96 characters 0x20..0x7F first (default: --ascii)
  --dedupe             keep each character once (default: off)
  --sort, --no-sort    sort the characters by code; sorted internal fonts look
                       glyphs up by binary search (default: --sort; LVGL 5.3
                       fonts keep the input order)
  --icons TEXT         FontAwesome icon characters, drawn with the icon font
  --icon-codes LIST    icon code points in hexadecimal, e.g. f000,f2dc
  --common-hanzi       add the 6763 common hanzi of GB 2312 (加入常用汉字)
  --all-hanzi          add all 20902 hanzi, U+4E00..U+9FA5 (加入所有汉字)
  --range LIST         add code points: 0x20-0x7F, 0x2103, decimal 32-127, or a
                       comma-separated list of them (0x1..0xFFFF, no surrogates)
                       These three follow every --text and --text-file, in the
                       order given; icons come last.

Font:
  --font FAMILY|FILE   font family, or a .ttf/.otf/.ttc file to load
                       (default: 微软雅黑; where it is missing, WenQuanYi Micro
                       Hei or Noto Sans CJK SC stands in)
  --style STYLE        style name, e.g. Regular, Bold (default: Regular)
  --size POINTS        size in points (default: 12)
  --pixel-size PX      size in pixels, instead of --size

Output:
  --bpp 1|2|4|8        bits per pixel; 1 means no anti-aliasing (default: 4)
  --lvgl 5.3|6|8|9     LVGL version the code is for (default: 6); the LVGL 9
                       code serves every release from 9.0 to 9.5
  --type KIND          internal   C arrays of the glyphs (default)
                       xbf-array  XBF glyph table in one large C array
                       xbf-bin    XBF glyph table in NAME.bin plus a small
                                  reader NAME.c, written into --output-dir
  --compress           store the glyphs compressed, decoded by the font's own
                       code one glyph at a time (LVGL 6, 8 and 9; default: off)
  --name NAME          C name of the lv_font_t object and base of file names
                       (default: myFont)
  --include TEXT       text written after the file header
                       (default: #include "lvgl.h")
  -o, --output FILE    write the C text to FILE (UTF-8) instead of standard output
                       ("-" is standard output). A device or FIFO is written
                       where it stands; a file without write permission is
                       refused
  --output-dir DIR     existing folder for --type xbf-bin (required there)

Preview:
  --preview FILE.png   draw a sample text from the generated output (the .bin
                       for xbf-bin) the way LVGL places the glyphs, into a PNG
                       ("-" is standard output, when the font goes to a file)
  --preview-text TEXT  the sample (default: the first characters converted)
  --preview-scale N    1, 2, 4 or 8 picture pixels per font pixel (default: 1)
  --preview-dark       light text on a dark background
  --preview-guides     mark each line's box and its base line
  --preview-file FONT.c
                       convert nothing: draw a font this program wrote before
                       (or its edited copy) into the --preview PNG, read as
                       the preview reads a new output; --lvgl 8 or 9 draws
                       LVGL's placeholder boxes for missing characters
  --bin FONT.bin       the .bin of an xbf-bin font given with --preview-file

Other:
  -q, --quiet          no progress bar (it is only drawn when standard error
                       is a terminal)
  -v, --verbose        also print the engine's debug messages
  -h, --help           show this help and exit
  --version            show the version and exit

The FontAwesome icon font is taken from ./awesome/fonts/fontawesome-webfont.ttf
and ./awesome/css/font-awesome.css, the same paths beside the program, or the
fonts-font-awesome package.

Exit status: 0 done, 1 the conversion or writing failed, 2 bad options or input.

Examples:
  quillmark-cli --text "温度湿度℃" --size 16 -o myFont.c
  quillmark-cli --no-ascii --text-file strings.txt --dedupe --bpp 2 --lvgl 8 \
      --font /usr/share/fonts/truetype/wqy/wqy-microhei.ttc --name ui_font_16 \
      --size 16 -o ui_font_16.c
  quillmark-cli --text-file chars.txt --icon-codes f011,f013 --type xbf-bin \
      --output-dir fonts --name big_font
  quillmark-cli --no-ascii --common-hanzi --range 0x20-0x7F --preview p.png -o f.c
  quillmark-cli --all-hanzi --range 0x2103,0xFF01-0xFF5E,48-57 --bpp 1 -o cjk.c
  quillmark-cli --text "你好LVGL" --preview hello.png --preview-text "你好 LVGL" \
      --preview-scale 4 -o hello.c
  quillmark-cli --preview-file fonts/big_font.c --bin fonts/big_font.bin \
      --preview check.png --preview-text "温度 23"
)");
}

} // namespace cli
} // namespace qm
