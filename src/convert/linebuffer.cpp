#include "linebuffer.h"

#include <QFile>
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

namespace {

// Writes UTF-8 for `length` code units at `text` to `out`, which has room for three
// bytes per unit, and returns the end. Generated C is nearly all ASCII, which is
// copied in blocks.
char *encodeUtf8(const QChar *text, int length, char *out)
{
    const ushort *src = reinterpret_cast<const ushort *>(text);
    const ushort *const end = src + length;
    while (src < end) {
        // Sixteen ASCII characters at a time.
        while (end - src >= 16) {
            ushort any = 0;
            for (int i = 0; i < 16; ++i)
                any |= src[i];
            if (any >= 0x80)
                break;
            for (int i = 0; i < 16; ++i)
                out[i] = char(src[i]);
            src += 16;
            out += 16;
        }
        if (src == end)
            break;
        const ushort u = *src++;
        if (u < 0x80) {
            *out++ = char(u);
        } else if (u < 0x800) {
            *out++ = char(0xC0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3F));
        } else if (!QChar::isSurrogate(u)) {
            *out++ = char(0xE0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && src < end && QChar::isLowSurrogate(*src)) {
            const uint c = QChar::surrogateToUcs4(u, *src++);
            *out++ = char(0xF0 | (c >> 18));
            *out++ = char(0x80 | ((c >> 12) & 0x3F));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        } else {
            // A lone surrogate is written as Qt writes it (never more than three bytes).
            const QByteArray odd = QString(QChar(u)).toUtf8();
            memcpy(out, odd.constData(), size_t(odd.size()));
            out += odd.size();
        }
    }
    return out;
}

} // namespace

bool writeUtf8File(const QString &path, const QString &text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString());
        return false;
    }
    // Encoded piece by piece into one buffer: a large font's text would otherwise be
    // held a second time, as one UTF-8 copy, just to be written out.
    const int chunk = 1 << 18;
    QByteArray buffer(3 * (chunk + 1), Qt::Uninitialized);
    bool written = true;
    for (int at = 0; written && at < text.size();) {
        int length = qMin(chunk, text.size() - at);
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate()
            && text.at(at + length).isLowSurrogate())
            ++length;   // keep a surrogate pair in one piece
        const char *end = encodeUtf8(text.constData() + at, length, buffer.data());
        const qint64 size = end - buffer.constData();
        written = file.write(buffer.constData(), size) == size;
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
