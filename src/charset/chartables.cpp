#include "charset/chartables.h"

#include <QDebug>
#include <QFile>

// The table lives in a resource of a static library, so it has to be registered
// by hand before the first read; Q_INIT_RESOURCE cannot stand inside a namespace.
static void initCharTableResources()
{
    Q_INIT_RESOURCE(chartables);
}

namespace qm {

static QString loadCommonChineseCharacters()
{
    initCharTableResources();
    QFile file(QStringLiteral(":/tables/common_hanzi.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "common hanzi table missing:" << file.errorString();
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

QString commonChineseCharacters()
{
    static const QString table = loadCommonChineseCharacters();
    return table;
}

QString allChineseCharacters()
{
    constexpr char16_t first = 0x4E00;
    constexpr char16_t last = 0x9FA5;
    QString text;
    text.resize(last - first + 1);
    QChar *out = text.data();
    for (char16_t unit = first; unit <= last; ++unit)
        *out++ = QChar(unit);
    return text;
}

} // namespace qm
