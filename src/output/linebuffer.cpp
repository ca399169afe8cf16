#include "output/linebuffer.h"

#include <QFont>
#include <QStringList>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace qm {

void LineBuffer::reserve(int size)
{
    m_text.reserve(size);
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    // A big font's text fills megabytes front to back. Faulting them in 4 KiB at a time
    // costs more than writing them, so the kernel is asked for huge pages; it ignores
    // the request where they are not to be had.
    const quintptr bytes = quintptr(m_text.capacity()) * sizeof(QChar);
    const quintptr huge = quintptr(2) << 20;
    if (bytes >= 2 * huge) {
        const quintptr start = (quintptr(m_text.data()) + huge - 1) & ~(huge - 1);
        const quintptr end = (quintptr(m_text.data()) + bytes) & ~(huge - 1);
        if (end > start)
            madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
#endif
}

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

namespace {

// Family and style come from the font file's name table, the command line or the
// settings file. A line break among them would end the comment and turn the rest into
// C, so every control character (and the Unicode line and paragraph separators, which
// the output pane shows as breaks) becomes a space.
QString commentSafe(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

QString fontCommentLine(const QFont &font)
{
    // A font sized in pixels (the CLI's --pixel-size) has no point size to name.
    const QString size = font.pointSize() > 0 ? QString::number(font.pointSize())
                                              : QString::number(font.pixelSize()) + QStringLiteral("px");
    return QStringLiteral("//") + commentSafe(font.family()) + QLatin1Char(',')
        + commentSafe(font.styleName()) + QLatin1Char(',') + size;
}

} // namespace qm
