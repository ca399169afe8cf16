#include "testfonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QRawFont>
#include <QStringList>
#include <QtEndian>

namespace qmtest {

QString missingTestFonts()
{
    static const struct {
        const char *family;
        const char *package;
    } needed[] = {
        {"DejaVu Sans", "fonts-dejavu-core"},
        {"DejaVu Sans Mono", "fonts-dejavu-core"},
        {"DejaVu Math TeX Gyre", "fonts-dejavu-extra"},
        {"Droid Sans Fallback", "fonts-droid-fallback"},
        {"WenQuanYi Micro Hei", "fonts-wqy-microhei"},
    };
    const QStringList families = QFontDatabase().families();
    QStringList missing;
    for (const auto &font : needed) {
        if (!families.contains(QString::fromUtf8(font.family)))
            missing << QStringLiteral("font \"%1\" is not installed (Debian package %2)")
                           .arg(QString::fromUtf8(font.family), QString::fromUtf8(font.package));
    }
    static const bool iconFont = QFontDatabase::addApplicationFont(QStringLiteral(
                                     "/usr/share/fonts-font-awesome/fonts/fontawesome-webfont.ttf")) >= 0;
    if (!iconFont)
        missing << QStringLiteral("the FontAwesome web font is not installed (Debian package fonts-font-awesome)");
    return missing.join(QStringLiteral("; "));
}

namespace {

// The byte offset and length of a table of a TrueType file; offset 0 when it is missing.
QPair<int, int> findTable(const QByteArray &font, const char *tag)
{
    const auto *data = reinterpret_cast<const uchar *>(font.constData());
    const int tables = qFromBigEndian<quint16>(data + 4);
    for (int i = 0; i < tables; ++i) {
        const uchar *record = data + 12 + 16 * i;
        if (font.size() >= 12 + 16 * (i + 1) && memcmp(record, tag, 4) == 0)
            return {int(qFromBigEndian<quint32>(record + 8)), int(qFromBigEndian<quint32>(record + 12))};
    }
    return {0, 0};
}

void putInt16(QByteArray &font, int at, int value)
{
    qToBigEndian<qint16>(qint16(value), reinterpret_cast<uchar *>(font.data()) + at);
}

} // namespace

namespace {

// Registers `font` (a copy of DejaVu Sans) under `family`, a name as long as "DejaVu Sans"
// put in place of it in the name table's one-byte and UTF-16 records.
QString registerRenamedCopy(const QString &folder, QByteArray font, const QString &family)
{
    const QPair<int, int> name = findTable(font, "name");
    if (name.first == 0)
        return QString();
    QByteArray names = font.mid(name.first, name.second);
    names.replace(QByteArray("DejaVu Sans"), family.toLatin1());
    QByteArray wideOld, wideNew;
    for (const char c : QByteArray("DejaVu Sans"))
        wideOld += QByteArray(1, '\0') + c;
    for (const char c : family.toLatin1())
        wideNew += QByteArray(1, '\0') + c;
    names.replace(wideOld, wideNew);
    font.replace(name.first, name.second, names);

    QFile copy(folder + QLatin1Char('/') + family + QStringLiteral(".ttf"));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(font) != font.size())
        return QString();
    copy.close();
    const int id = QFontDatabase::addApplicationFont(copy.fileName());
    const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    return families.value(0);
}

QByteArray dejaVuSans()
{
    QFile source(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    return source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
}

} // namespace

QString registerFontWithVerticalMetrics(const QString &folder, int ascender, int descender)
{
    QByteArray font = dejaVuSans();
    const QPair<int, int> hhea = findTable(font, "hhea");
    const QPair<int, int> os2 = findTable(font, "OS/2");
    if (hhea.first == 0 || os2.first == 0 || os2.second < 78)
        return QString();
    putInt16(font, hhea.first + 4, ascender);
    putInt16(font, hhea.first + 6, descender);
    putInt16(font, hhea.first + 8, 0);                     // lineGap
    putInt16(font, os2.first + 68, ascender);              // sTypoAscender
    putInt16(font, os2.first + 70, descender);             // sTypoDescender
    putInt16(font, os2.first + 72, 0);                     // sTypoLineGap
    putInt16(font, os2.first + 74, qMax(0, ascender));     // usWinAscent
    putInt16(font, os2.first + 76, qMax(0, -descender));   // usWinDescent
    return registerRenamedCopy(folder, font,
                               QStringLiteral("QmMetric%1").arg(qAbs(ascender * 7 + descender) % 1000, 3, 10,
                                                                QLatin1Char('0')));
}

QString registerFontWithUnitsPerEm(const QString &folder, int unitsPerEm)
{
    QByteArray font = dejaVuSans();
    const QPair<int, int> head = findTable(font, "head");
    if (head.first == 0 || head.second < 54)
        return QString();
    putInt16(font, head.first + 18, unitsPerEm);
    return registerRenamedCopy(folder, font, QStringLiteral("QmUpem%1").arg(unitsPerEm % 100000, 5, 10, QLatin1Char('0')));
}

QString registerFontOutgrowingItsMetrics(const QString &folder)
{
    QByteArray font = dejaVuSans();
    const QPair<int, int> head = findTable(font, "head");
    const QPair<int, int> hhea = findTable(font, "hhea");
    const QPair<int, int> os2 = findTable(font, "OS/2");
    if (head.first == 0 || hhea.first == 0 || os2.second < 78)
        return QString();
    putInt16(font, head.first + 18, 16);   // unitsPerEm
    putInt16(font, hhea.first + 4, 16);    // ascender
    putInt16(font, hhea.first + 6, -4);    // descender
    putInt16(font, hhea.first + 8, 0);     // lineGap
    putInt16(font, hhea.first + 10, 16);   // advanceWidthMax
    putInt16(font, os2.first + 68, 16);
    putInt16(font, os2.first + 70, -4);
    putInt16(font, os2.first + 72, 0);
    putInt16(font, os2.first + 74, 16);
    putInt16(font, os2.first + 76, 4);
    return registerRenamedCopy(folder, font, QStringLiteral("QmOutgrown1"));
}

QString registerFontWithDamagedGlyphs(const QString &folder, QChar badOutline, QChar badLocation)
{
    const QString path = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const QVector<quint32> glyphs = QRawFont(path, 16).glyphIndexesForString(QString(badOutline) + badLocation);
    QByteArray font = dejaVuSans();
    const QPair<int, int> head = findTable(font, "head");
    const QPair<int, int> loca = findTable(font, "loca");
    const QPair<int, int> glyf = findTable(font, "glyf");
    if (glyphs.size() != 2 || head.first == 0 || loca.first == 0 || glyf.first == 0)
        return QString();
    auto *data = reinterpret_cast<uchar *>(font.data());
    const bool longOffsets = qFromBigEndian<qint16>(data + head.first + 50) != 0;
    const auto offsetOf = [&](quint32 glyph) {
        return longOffsets ? qFromBigEndian<quint32>(data + loca.first + 4 * glyph)
                           : 2u * qFromBigEndian<quint16>(data + loca.first + 2 * glyph);
    };
    putInt16(font, glyf.first + int(offsetOf(glyphs[0])), 0x7000);   // numberOfContours
    if (!longOffsets)
        return QString();
    qToBigEndian<quint32>(quint32(glyf.second) + 64, data + loca.first + 4 * glyphs[1]);
    return registerRenamedCopy(folder, font, QStringLiteral("QmDamaged01"));
}

} // namespace qmtest
