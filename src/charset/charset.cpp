#include "charset/charset.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <bitset>
#include <memory>

namespace qm {

QString removeDuplicateChars(const QString &text)
{
    // A seen-set over all 65536 units keeps this linear; the result is the same
    // as scanning the kept units for each new one.
    auto seen = std::make_unique<std::bitset<65536>>();
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!seen->test(u)) {
            seen->set(u);
            result.append(c);
        }
    }
    return result;
}

void sortChars(QString &text)
{
    ushort *begin = reinterpret_cast<ushort *>(text.data());
    std::sort(begin, begin + text.size());
}

QString buildCharacterSet(const QString &input, const QString &iconText,
                          const CharacterSetOptions &options)
{
    QString set;
    set.reserve(96 + input.size() + iconText.size());
    if (options.addAscii) {
        for (ushort u = 0x20; u <= 0x7F; ++u)
            set.append(QChar(u));
    }
    set.append(input);
    if (!iconText.isEmpty())
        set.append(iconText);
    if (options.removeRepeats)
        set = removeDuplicateChars(set);
    if (options.sort)
        sortChars(set);
    return set;
}

bool isControlCharacter(QChar ch)
{
    const ushort u = ch.unicode();
    return (u >= 0x01 && u <= 0x1F) || u == 0x7F;
}

QString codePointName(uint code)
{
    return QStringLiteral("U+%1").arg(code, 4, 16, QLatin1Char('0')).toUpper();
}

int removeNullChars(QString &chars)
{
    const int before = chars.size();
    chars.remove(QChar(0));
    return before - chars.size();
}

QString beyondBmpProblem(const QString &text)
{
    const int shown = 10;
    QStringList named;
    QSet<uint> seen;
    int count = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        uint code = c.unicode();
        QString drawn;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            drawn = text.mid(i, 2) + QLatin1Char(' ');
            ++i;
        }
        if (seen.contains(code))
            continue;
        seen.insert(code);
        if (++count <= shown)
            named << drawn + QLatin1Char('(') + codePointName(code) + QLatin1Char(')');
    }
    if (count == 0)
        return QString();
    if (count > shown)
        named << QStringLiteral("…");
    const QString list = named.join(QStringLiteral(", "));
    return QStringLiteral("暂不支持U+FFFF以上的字符（%1个），请删除：%2"
                          "/Characters beyond U+FFFF are not supported yet; remove these %1: %2")
        .arg(count)
        .arg(list);
}

int bppMask(int bpp)
{
    switch (bpp) {
    case 1: return 1;
    case 2: return 3;
    case 4: return 15;
    case 8: return 255;
    default: return 0;
    }
}

bool isValidBpp(int bpp)
{
    return bppMask(bpp) != 0;
}

} // namespace qm
