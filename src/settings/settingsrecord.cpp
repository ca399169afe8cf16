#include "settingsrecord.h"

#include "files/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <utility>

namespace {

const int kDefaultBpp = 2;      // "4"
const int kDefaultType = 0;     // "内部字体"
const int kDefaultLvVer = 1;    // "用于6.0版本以上"
const int kDefaultFontPoint = 12;

void readString(const QJsonObject &o, const char *key, QString &field)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString())
        field = v.toString();
}

void readInt(const QJsonObject &o, const char *key, int &field)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble())
        return;
    // A number with a fraction keeps its integer part; one out of range reads as 0.
    const double d = v.toDouble();
    field = std::fabs(d) < 2147483648.0 ? int(d) : 0;
}

// FontPoint and LvVerIdx only take whole numbers; anything else reads as 0.
void readWholeInt(const QJsonObject &o, const char *key, int &field)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble())
        return;
    const double d = v.toDouble();
    field = (std::floor(d) == d && std::fabs(d) <= 2147483647.0) ? int(d) : 0;
}

void readBool(const QJsonObject &o, const char *key, bool &field)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isBool())
        field = v.toBool();
}

int inRangeOr(int value, int count, int fallback)
{
    return (value >= 0 && value < count) ? value : fallback;
}

} // namespace

SettingsRecord::SettingsRecord()
{
    resetToDefaults();
}

QString SettingsRecord::defaultPath()
{
    return QStringLiteral("./config.ini");
}

QString SettingsRecord::defaultIncludeText()
{
    return QStringLiteral("#include \"lvgl.h\"");
}

void SettingsRecord::resetToDefaults()
{
    IncText = defaultIncludeText();
    FunText.clear();
    DirText.clear();
    DirTxt.clear();
    FunSel = 0;
    Bpp = kDefaultBpp;
    FontVS = 0;
    FontHeight = 24;
    Code = 0;
    Type = kDefaultType;
    Ansi = true;
    FontName = QStringLiteral("myFont");
    AweText.clear();
    FontFamily = QStringLiteral("微软雅黑");
    FontStyle = QStringLiteral("Regular");
    FontPoint = kDefaultFontPoint;
    LvVerIdx = kDefaultLvVer;
    TextSort = true;
    Compress = false;
    SaveFile = true;
}

void SettingsRecord::loadFromFile()
{
    loadFromFile(defaultPath());
}

void SettingsRecord::loadFromFile(const QString &path)
{
    QByteArray data;
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (opened) {
        data = file.readAll();
        file.close();
    }
    // An empty or missing file holds nothing worth keeping; anything else that is not
    // an object would be lost at the next save.
    m_loadedUnreadable = (!opened && QFileInfo(path).isFile()) || !data.trimmed().isEmpty();

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (doc.isNull() || error.error != QJsonParseError::NoError) {
        resetToDefaults();
        return;
    }
    if (!doc.isObject())
        return;
    m_loadedUnreadable = false;

    const QJsonObject o = doc.object();
    readString(o, "IncText", IncText);
    if (IncText.isEmpty())
        IncText = defaultIncludeText();
    readString(o, "FunText", FunText);
    readString(o, "DirText", DirText);
    readString(o, "DirTxt", DirTxt);
    readInt(o, "FunSel", FunSel);
    readInt(o, "Bpp", Bpp);
    readInt(o, "FontHeight", FontHeight);
    readInt(o, "FontVS", FontVS);
    readInt(o, "Code", Code);
    readInt(o, "Type", Type);
    readBool(o, "Ansi", Ansi);
    readString(o, "FontName", FontName);
    readString(o, "AweText", AweText);
    readString(o, "FontFamily", FontFamily);
    readString(o, "FontStyle", FontStyle);
    readWholeInt(o, "FontPoint", FontPoint);
    readWholeInt(o, "LvVerIdx", LvVerIdx);
    readBool(o, "TextSort", TextSort);
    readBool(o, "Compress", Compress);
    readBool(o, "SaveFile", SaveFile);
}

QByteArray SettingsRecord::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("IncText"), IncText);
    o.insert(QStringLiteral("FunText"), FunText);
    o.insert(QStringLiteral("DirText"), DirText);
    o.insert(QStringLiteral("DirTxt"), DirTxt);
    o.insert(QStringLiteral("FunSel"), FunSel);
    o.insert(QStringLiteral("Bpp"), Bpp);
    o.insert(QStringLiteral("FontHeight"), FontHeight);
    o.insert(QStringLiteral("FontVS"), FontVS);
    o.insert(QStringLiteral("Code"), Code);
    o.insert(QStringLiteral("Type"), Type);
    o.insert(QStringLiteral("Ansi"), Ansi);
    o.insert(QStringLiteral("FontName"), FontName);
    o.insert(QStringLiteral("AweText"), AweText);
    o.insert(QStringLiteral("FontFamily"), FontFamily);
    o.insert(QStringLiteral("FontStyle"), FontStyle);
    o.insert(QStringLiteral("FontPoint"), FontPoint);
    o.insert(QStringLiteral("LvVerIdx"), LvVerIdx);
    o.insert(QStringLiteral("TextSort"), TextSort);
    o.insert(QStringLiteral("Compress"), Compress);
    o.insert(QStringLiteral("SaveFile"), SaveFile);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool SettingsRecord::saveToFile(QString *error)
{
    return saveToFile(defaultPath(), error);
}

bool SettingsRecord::saveToFile(const QString &path, QString *error)
{
    if (m_loadedUnreadable && QFileInfo(path).isFile()) {
        const QString aside = path + QStringLiteral(".bad");
        QFile::remove(aside);
        QFile unreadable(path);
        if (!unreadable.rename(aside)) {
            if (error)
                *error = QStringLiteral("The file %1 could not be kept as %2: %3")
                             .arg(path, aside, unreadable.errorString());
            return false;
        }
        m_setAsidePath = aside;
    }
    m_loadedUnreadable = false;
    return qm::writeWholeFile(path, toJson(), error);
}

QString SettingsRecord::takeSetAsidePath()
{
    return std::exchange(m_setAsidePath, QString());
}

int SettingsRecord::bppIndex() const { return inRangeOr(Bpp, 4, kDefaultBpp); }
int SettingsRecord::typeIndex() const { return inRangeOr(Type, 3, kDefaultType); }
int SettingsRecord::lvVerIndex() const { return inRangeOr(LvVerIdx, 4, kDefaultLvVer); }

int SettingsRecord::fontPointSize() const
{
    return (FontPoint >= kMinFontPoint && FontPoint <= kMaxFontPoint) ? FontPoint : kDefaultFontPoint;
}
