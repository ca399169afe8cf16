#include "testfonts.h"

#include <QFontDatabase>
#include <QStringList>

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

} // namespace qmtest
