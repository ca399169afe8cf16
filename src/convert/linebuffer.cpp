#include "linebuffer.h"

#include <QFile>
#include <QFont>
#include <QStringList>

namespace qm {

QString buildFileHeader()
{
    const QString rule = QStringLiteral("*") + QString(63, QLatin1Char('-'));
    QStringList lines;
    lines << QStringLiteral("/*")
          << rule
          << QStringLiteral("*") + QString(24, QLatin1Char(' ')) + QStringLiteral("Quillmark")
                 + QString(25, QLatin1Char(' '))
          << QStringLiteral("*") + QString(63, QLatin1Char(' '))
          << QStringLiteral("* 注:使用unicode编码") + QString(46, QLatin1Char(' '))
          << QStringLiteral("* 注:本字体文件由Quillmark V0.5测试版 生成") + QString(21, QLatin1Char(' '))
          << QStringLiteral("* 作者:Quillmark开发组 (LVGL字体转换工具)") + QString(21, QLatin1Char(' '))
          << rule
          << QStringLiteral("*/")
          << QString()
          << QString();
    return lines.join(QLatin1Char('\n'));
}

QString fontCommentLine(const QFont &font)
{
    // A font sized in pixels (the CLI's --pixel-size) has no point size to name.
    const QString size = font.pointSize() > 0 ? QString::number(font.pointSize())
                                              : QString::number(font.pixelSize()) + QStringLiteral("px");
    return QStringLiteral("//") + font.family() + QLatin1Char(',') + font.styleName()
        + QLatin1Char(',') + size;
}

bool writeUtf8File(const QString &path, const QString &text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString());
        return false;
    }
    // Encoded piece by piece: a large font's text would otherwise be held a second time,
    // as one UTF-8 copy, just to be written out.
    const int chunk = 1 << 20;
    bool written = true;
    for (int at = 0; written && at < text.size();) {
        int length = qMin(chunk, text.size() - at);
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
            ++length;   // keep a surrogate pair in one piece
        const QByteArray data = text.midRef(at, length).toUtf8();
        written = file.write(data) == data.size();
        at += length;
    }
    written = written && file.flush();
    if (!written) {
        if (error)
            *error = QStringLiteral("The file %1 could not be written: %2").arg(path, file.errorString());
        file.close();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("The file %1 could not be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace qm
