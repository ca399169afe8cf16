#include "fonts.h"

#include <QFont>
#include <QFontDatabase>

namespace qm {

QString defaultFontFamily()
{
    return QStringLiteral("微软雅黑");
}

QStringList cjkFallbackFamilies()
{
    return {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("Droid Sans Fallback")};
}

void installFontSubstitutions()
{
    const QStringList installed = QFontDatabase().families();
    if (installed.contains(defaultFontFamily(), Qt::CaseInsensitive))
        return;
    QStringList available;
    for (const QString &family : cjkFallbackFamilies()) {
        if (installed.contains(family, Qt::CaseInsensitive))
            available << family;
    }
    if (!available.isEmpty())
        QFont::insertSubstitutions(defaultFontFamily(), available);
}

qreal conversionPixelSize(const QFont &font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return font.pointSizeF() * 96.0 / 72.0;
}

} // namespace qm
