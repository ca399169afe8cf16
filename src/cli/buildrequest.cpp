#include "buildrequest.h"

#include "charset/charset.h"
#include "request/fontname.h"
#include "render/fonts.h"
#include "preview/preview.h"
#include "files/atomicfile.h"
#include "files/textfile.h"
#include "icons/iconfont.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRawFont>

#include <cstdio>

namespace qm {
namespace cli {

namespace {

bool looksLikeFontFile(const QString &text)
{
    static const QStringList suffixes{QStringLiteral("ttf"),  QStringLiteral("otf"),
                                      QStringLiteral("ttc"),  QStringLiteral("otc"),
                                      QStringLiteral("pfa"),  QStringLiteral("pfb"),
                                      QStringLiteral("woff"), QStringLiteral("woff2")};
    // Family names never hold a slash, so anything with one is meant as a path.
    return text.contains(QLatin1Char('/'))
        || suffixes.contains(QFileInfo(text).suffix(), Qt::CaseInsensitive);
}

} // namespace

IconSupport loadIconSupport()
{
    IconSupport icons;
    const QFont base;
    icons.font = loadIconFont(iconFontPath(), base);
    icons.fontLoaded = icons.font.family() != base.family();
    icons.catalogue = readIconCatalogue(iconStylesheetPath());
    return icons;
}

int typeIndex(OutputType type)
{
    return static_cast<int>(type);
}

QString typeText(OutputType type)
{
    switch (type) {
    case OutputType::Internal: return QStringLiteral("内部字体");
    case OutputType::XbfArray: return QStringLiteral("XBF字体,内部大数组");
    case OutputType::XbfBin: return QStringLiteral("XBF字体,外部bin文件");
    }
    return QString();
}

GeneratorKind generatorFor(const Options &options)
{
    return pickGenerator(options.lvVer, typeIndex(options.type), options.sort);
}

QString asPaneText(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const ushort u = text.at(i).unicode();
        switch (u) {
        case '\r':
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            result.append(QLatin1Char('\n'));
            break;
        case 0x2028:  // line separator
        case 0x2029:  // paragraph separator
        case 0xFDD0:  // the text document's frame markers
        case 0xFDD1:
            result.append(QLatin1Char('\n'));
            break;
        case 0x00A0:
            result.append(QLatin1Char(' '));
            break;
        default:
            result.append(QChar(u));
        }
    }
    return result;
}

bool gatherInputText(const Options &options, QString *text, QString *error)
{
    QString gathered;
    for (const QString &piece : options.texts)
        gathered += asPaneText(piece);
    for (const QString &path : options.textFiles) {
        QString fileText;
        if (!readTextFile(path, &fileText, error))
            return false;
        gathered += asPaneText(fileText);
    }
    // Code points asked for by number are taken as they are.
    gathered += options.addedChars;
    *text = gathered;
    return true;
}

namespace {

// Qt lists a family that more than one foundry installed once per foundry, as "C059 [urw]"
// and "C059 [UKWN]" (the OpenType and the Type 1 copies), and never by its bare name.
bool familyIsInstalled(const QStringList &listed, const QString &family)
{
    for (const QString &name : listed) {
        if (name.compare(family, Qt::CaseInsensitive) == 0)
            return true;
        if (name.startsWith(family + QLatin1String(" ["), Qt::CaseInsensitive) && name.endsWith(QLatin1Char(']')))
            return true;
    }
    return false;
}

} // namespace

bool buildConversionFont(const Options &options, QFont *font, QStringList *warnings, QString *error)
{
    QString family = options.font;
    QRawFont fileFace;   // the first face of a font file
    const QFontDatabase database;
    if (looksLikeFontFile(options.font)) {
        if (!QFileInfo(options.font).isFile()) {
            *error = QStringLiteral("font file %1 does not exist").arg(options.font);
            return false;
        }
        const int id = QFontDatabase::addApplicationFont(options.font);
        const QStringList families = id == -1 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) {
            *error = QStringLiteral("font file %1 could not be loaded as a font").arg(options.font);
            return false;
        }
        family = families.first();
        fileFace = QRawFont(options.font, 16);
    } else if (!familyIsInstalled(database.families(), family) && QFont::substitutes(family).isEmpty()) {
        QFont probe(family);
        *warnings << QStringLiteral("font family \"%1\" is not installed; \"%2\" is drawn instead")
                         .arg(family, QFontInfo(probe).family());
    }

    QFont f;
    f.setFamily(family);
    f.setStyleName(options.style);
    if (options.pixelSize > 0)
        f.setPixelSize(options.pixelSize);
    else
        f.setPointSize(options.pointSize);

    // The family of a file may be installed as well (DejaVu Sans); "Regular" would then
    // pick the installed regular face, not DejaVuSans-Bold.ttf's bold one. Without
    // --style the file's own face is drawn.
    if (!options.styleGiven && fileFace.isValid()
        && fileFace.familyName().compare(family, Qt::CaseInsensitive) == 0) {
        const QRawFont drawn = QRawFont::fromFont(conversionFont(f));
        if (drawn.styleName() != fileFace.styleName() || drawn.weight() != fileFace.weight()
            || drawn.style() != fileFace.style()) {
            f.setStyleName(fileFace.styleName());
        }
        *font = f;
        return true;
    }

    const QStringList styles = database.styles(family);
    if (!styles.isEmpty() && !styles.contains(options.style, Qt::CaseInsensitive)) {
        *warnings << QStringLiteral("font \"%1\" has no style \"%2\" (it has: %3)")
                         .arg(family, options.style, styles.join(QStringLiteral(", ")));
    }
    *font = f;
    return true;
}

bool buildRequest(const Options &options, const IconSupport &icons, PreparedConversion *out,
                  QString *error)
{
    PreparedConversion prepared;
    prepared.kind = generatorFor(options);
    ConversionRequest &request = prepared.request;

    QString input;
    if (!gatherInputText(options, &input, error))
        return false;

    // The LVGL 5.3 generator keeps the input order whatever the sort option says.
    CharacterSetOptions setOptions;
    setOptions.addAscii = options.ascii;
    setOptions.removeRepeats = options.dedupe;
    setOptions.sort = options.sort && prepared.kind != GeneratorKind::Legacy;
    request.chars = buildCharacterSet(input, options.icons, setOptions);

    // The window's three refusals, in its order.
    if (request.chars.isEmpty()) {
        *error = QStringLiteral("请输入内容以转换 / nothing to convert: the character set is empty "
                                "(give --text, --text-file, --range or --icons, or drop --no-ascii)");
        return false;
    }
    // Before sorting, which would part the halves of a pair.
    const QString beyondBmp = beyondBmpProblem(input + options.icons);
    if (!beyondBmp.isEmpty()) {
        *error = beyondBmp;
        return false;
    }
    if (options.name.isEmpty()) {
        *error = QStringLiteral("请输入字体名 / the font name (--name) must not be empty");
        return false;
    }
    const QString nameProblem = fontNameProblem(options.name);
    if (!nameProblem.isEmpty()) {
        *error = nameProblem;
        return false;
    }
    const QString include = asPaneText(options.include);
    if (include.isEmpty()) {
        *error = QStringLiteral("include不能为空 / the include text (--include) must not be empty");
        return false;
    }

    if (!buildConversionFont(options, &request.font, &prepared.warnings, error))
        return false;

    // The files the run writes, to catch two of them on one path.
    QStringList fontFiles;
    if (options.type == OutputType::XbfBin && prepared.kind == GeneratorKind::XbfBin) {
        const QFileInfo dir(options.outputDir);
        if (!dir.isDir()) {
            *error = dir.exists() ? QStringLiteral("output folder %1 is not a folder").arg(options.outputDir)
                                  : QStringLiteral("output folder %1 does not exist").arg(options.outputDir);
            return false;
        }
        request.outputDir = QDir::cleanPath(dir.absoluteFilePath());
        fontFiles << request.outputDir + QLatin1Char('/') + options.name + QStringLiteral(".bin")
                  << request.outputDir + QLatin1Char('/') + options.name + QStringLiteral(".c");
    } else {
        fontFiles << (options.outputFile.isEmpty() ? QStringLiteral("/dev/stdout") : options.outputFile);
    }
    if (!options.previewFile.isEmpty()) {
        // "-" is standard output for the picture as for the font.
        const QString picture =
            isStandardOutputName(options.previewFile) ? QStringLiteral("/dev/stdout") : options.previewFile;
        for (const QString &fontFile : qAsConst(fontFiles)) {
            if (isSameFile(picture, fontFile)) {
                *error = QStringLiteral("--preview %1 is the file the font is written to (%2); give the "
                                        "picture a name of its own").arg(options.previewFile, fontFile);
                return false;
            }
        }
    }
    for (const QString &path : {options.outputFile, options.previewFile}) {
        if (path.isEmpty() || isStandardOutputName(path))
            continue;
        const QFileInfo target(path);
        if (!target.absoluteDir().exists()) {
            *error = QStringLiteral("the folder of output file %1 does not exist").arg(path);
            return false;
        }
        if (target.isDir()) {
            *error = QStringLiteral("output file %1 is a folder").arg(path);
            return false;
        }
    }

    if (!options.icons.isEmpty()) {
        if (!icons.fontLoaded) {
            prepared.warnings << QStringLiteral("the FontAwesome icon font was not found; icons are "
                                                "drawn with the default font");
        }
        if (!icons.catalogue.isEmpty()) {
            QString unknown;
            for (const QChar c : options.icons) {
                if (!icons.catalogue.contains(c) && !unknown.contains(c))
                    unknown.append(c);
            }
            for (const QChar c : qAsConst(unknown)) {
                prepared.warnings << QStringLiteral("%1 is not an icon of the icon font's catalogue")
                                         .arg(codePointName(c.unicode()));
            }
        }
    }

    request.bpp = options.bpp;
    request.bppMask = bppMask(options.bpp);
    request.lvVer = options.lvVer;
    request.iconFont = icons.font;
    request.iconText = options.icons;
    request.fontName = options.name;
    request.includeText = include;
    request.bppText = QString::number(options.bpp);
    request.typeText = typeText(options.type);
    request.sorted = options.sort;
    request.compress = options.compress;

    prepared.previewSample = options.previewText.isEmpty()
        ? defaultPreviewSample(input + options.icons, request.chars)
        : options.previewText;

    *out = prepared;
    return true;
}

} // namespace cli
} // namespace qm
