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

// Far beyond any family, path or include line; a field longer than this is no setting
// the window can show (a 20-million-character family brought Qt's text painting down).
const int kMaxStringLength = 4096;
// The whole file: nineteen such fields, escaped, fit many times over.
const qint64 kMaxFileSize = 1 << 20;

// False when the value is there but is no usable string: the file then holds something
// the record cannot keep, and is set aside before the next save.
bool readString(const QJsonObject &o, const char *key, QString &field)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString())
        return true;
    const QString text = v.toString();
    if (text.size() > kMaxStringLength)
        return false;
    field = text;
    return true;
}

// Only whole numbers that fit: 2.5 or 1e10 is no index, and leaves the field as it was.
void readInt(const QJsonObject &o, const char *key, int &field)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble())
        return;
    const double d = v.toDouble();
    if (std::floor(d) == d && d >= -2147483648.0 && d <= 2147483647.0)
        field = int(d);
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
    const QFileInfo info(path);
    // A FIFO would never end and a device has no settings; neither is read.
    const bool regular = info.isFile();
    const bool tooLarge = regular && info.size() > kMaxFileSize;
    const bool opened = regular && !tooLarge && file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (opened) {
        data = file.read(kMaxFileSize + 1);
        file.close();
    }
    // An empty or missing file holds nothing worth keeping; anything else that is not
    // an object would be lost at the next save.
    m_loadedUnreadable = (!opened && regular) || data.size() > kMaxFileSize || !data.trimmed().isEmpty();
    if (!opened || data.size() > kMaxFileSize) {
        resetToDefaults();
        return;
    }

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (doc.isNull() || error.error != QJsonParseError::NoError) {
        resetToDefaults();
        return;
    }
    if (!doc.isObject())
        return;

    const QJsonObject o = doc.object();
    bool keptAll = true;
    keptAll &= readString(o, "IncText", IncText);
    if (IncText.isEmpty())
        IncText = defaultIncludeText();
    keptAll &= readString(o, "FunText", FunText);
    keptAll &= readString(o, "DirText", DirText);
    keptAll &= readString(o, "DirTxt", DirTxt);
    readInt(o, "FunSel", FunSel);
    readInt(o, "Bpp", Bpp);
    readInt(o, "FontHeight", FontHeight);
    readInt(o, "FontVS", FontVS);
    readInt(o, "Code", Code);
    readInt(o, "Type", Type);
    readBool(o, "Ansi", Ansi);
    keptAll &= readString(o, "FontName", FontName);
    keptAll &= readString(o, "AweText", AweText);
    keptAll &= readString(o, "FontFamily", FontFamily);
    keptAll &= readString(o, "FontStyle", FontStyle);
    readInt(o, "FontPoint", FontPoint);
    readInt(o, "LvVerIdx", LvVerIdx);
    readBool(o, "TextSort", TextSort);
    readBool(o, "Compress", Compress);
    readBool(o, "SaveFile", SaveFile);
    // A field too long to take keeps its default, and the file is kept aside at the
    // next save instead of being overwritten.
    m_loadedUnreadable = !keptAll;
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
    const QFileInfo info(path);
    // Writing into a FIFO would wait for a reader for ever.
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = QStringLiteral("The file %1 could not be written: it is not a regular file").arg(path);
        return false;
    }
    if (m_loadedUnreadable && info.isFile()) {
        // An earlier unreadable file is the user's too: each gets a name of its own.
        QString aside = path + QStringLiteral(".bad");
        for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n) {
            if (n > 999) {
                if (error)
                    *error = QStringLiteral("The file %1 could not be kept: %1.bad to %1.bad.999 all exist").arg(path);
                return false;
            }
            aside = path + QStringLiteral(".bad.") + QString::number(n);
        }
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
