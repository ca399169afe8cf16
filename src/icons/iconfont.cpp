#include "iconfont.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QStringList>
#include <QTextStream>

namespace qm {

namespace {

const char *const kFontTail = "awesome/fonts/fontawesome-webfont.ttf";
const char *const kStylesheetTail = "awesome/css/font-awesome.css";
const char *const kDebianFont = "/usr/share/fonts-font-awesome/fonts/fontawesome-webfont.ttf";
const char *const kDebianStylesheet = "/usr/share/fonts-font-awesome/css/font-awesome.css";

QString firstExisting(const QString &tail, const QString &systemCopy)
{
    QStringList candidates{QStringLiteral("./") + tail};
    // The executable's folder is only known once an application object exists.
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + QLatin1Char('/') + tail;
    candidates << systemCopy;
    for (const QString &path : qAsConst(candidates)) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return candidates.first();
}

bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

} // namespace

QString iconFontRelativePath()
{
    return QStringLiteral("./") + QLatin1String(kFontTail);
}

QString iconStylesheetRelativePath()
{
    return QStringLiteral("./") + QLatin1String(kStylesheetTail);
}

QString iconFontPath()
{
    return firstExisting(QLatin1String(kFontTail), QLatin1String(kDebianFont));
}

QString iconStylesheetPath()
{
    return firstExisting(QLatin1String(kStylesheetTail), QLatin1String(kDebianStylesheet));
}

QFont loadIconFont(const QString &path, const QFont &base)
{
    QFont font = base;
    const int id = QFontDatabase::addApplicationFont(path);
    if (id == -1) {
        qDebug() << "fontawesome false";
        return font;
    }
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    qDebug() << families;
    if (!families.isEmpty()) {
        font.setFamily(families.first());
        qDebug() << "m_awe_font ok";
    }
    return font;
}

QString parseIconCatalogue(QTextStream &stream)
{
    QString catalogue;
    QString line;
    while (stream.readLineInto(&line)) {
        if (!line.contains(QLatin1String("content")))
            continue;
        // The first "f" anywhere on the line, not only after "content": a one-line
        // rule whose selector starts with "fa-" yields nothing, as it always has.
        const int start = line.indexOf(QLatin1Char('f'));
        if (start < 0)
            continue;
        const QStringRef digits = line.midRef(start, 4);
        bool allHex = true;
        for (const QChar c : digits)
            allHex = allHex && isHexDigit(c);
        if (!allHex)
            continue;
        catalogue.append(QChar(ushort(digits.toUInt(nullptr, 16))));
    }
    return catalogue;
}

QString parseIconCatalogue(QIODevice *device)
{
    if (!device)
        return QString();
    QTextStream stream(device);
    stream.setCodec("UTF-8");
    return parseIconCatalogue(stream);
}

QString readIconCatalogue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString catalogue = parseIconCatalogue(&file);
    file.close();
    return catalogue;
}

} // namespace qm
