#include "files/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

namespace qm {

namespace {

struct ByteOrderMark {
    const char *bytes;
    int size;
    const char *codec;
};

// Longest first: the UTF-32 LE mark begins with the UTF-16 LE one.
const ByteOrderMark kMarks[] = {
    {"\xFF\xFE\x00\x00", 4, "UTF-32LE"},
    {"\x00\x00\xFE\xFF", 4, "UTF-32BE"},
    {"\xEF\xBB\xBF", 3, "UTF-8"},
    {"\xFF\xFE", 2, "UTF-16LE"},
    {"\xFE\xFF", 2, "UTF-16BE"},
};

// Decodes with the codec; false when it finds sequences it cannot read.
bool decodeWith(const char *codecName, const QByteArray &bytes, QString *text)
{
    QTextCodec *codec = QTextCodec::codecForName(codecName);
    if (!codec)
        return false;
    // A mark has been cut off already; a second one would be text.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    *text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// Text has no control characters but the usual white space.
bool looksLikeText(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\v' && u != '\f' && u != '\r')
            return false;
    }
    return true;
}

// "UTF-16LE" or "UTF-16BE" when the zero bytes of `bytes` (the high halves of Latin
// characters and line breaks) nearly all sit on one side of each 16-bit unit; else null.
const char *plainUtf16(const QByteArray &bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return nullptr;
    int evenZeros = 0, oddZeros = 0;
    for (int i = 0; i < bytes.size(); i += 2) {
        evenZeros += bytes.at(i) == 0;
        oddZeros += bytes.at(i + 1) == 0;
    }
    // A few units of the other kind (U+4E00 is 00 4E in little-endian order) are fine;
    // other files with zero bytes have them on both sides alike.
    if (oddZeros > 0 && evenZeros * 4 <= oddZeros)
        return "UTF-16LE";
    if (evenZeros > 0 && oddZeros * 4 <= evenZeros)
        return "UTF-16BE";
    return nullptr;
}

bool decodeBytes(const QByteArray &bytes, QString *text)
{
    for (const ByteOrderMark &mark : kMarks) {
        if (!bytes.startsWith(QByteArray::fromRawData(mark.bytes, mark.size)))
            continue;
        // FF FE 00 00 is also a UTF-16 LE mark before a U+0000; only a body of
        // whole 32-bit units is taken for UTF-32.
        if (mark.size == 4 && bytes.size() % 4 != 0)
            continue;
        return decodeWith(mark.codec, bytes.mid(mark.size), text) && !text->contains(QChar(0));
    }
    if (const char *codec = plainUtf16(bytes)) {
        QString guess;
        if (decodeWith(codec, bytes, &guess) && looksLikeText(guess)) {
            *text = guess;
            return true;
        }
    }
    if (bytes.contains('\0'))
        return false;
    if (decodeWith("UTF-8", bytes, text))
        return true;
    // Qt's GB 18030 decoder reports nothing: it puts U+FFFD for a bad sequence and
    // drops a lead byte at the end. Every valid sequence encodes back as it was.
    QTextCodec *gb = QTextCodec::codecForName("GB18030");
    *text = gb->toUnicode(bytes);
    return gb->fromUnicode(*text) == bytes;
}

} // namespace

bool decodeImportedText(const QByteArray &bytes, QString *text)
{
    QString decoded;
    if (!decodeBytes(bytes, &decoded))
        return false;
    decoded.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    *text = decoded;
    return true;
}

QString notTextReason()
{
    return QStringLiteral("it is not a text file (UTF-8, UTF-16, UTF-32 or GB 18030)");
}

bool readTextFile(const QString &path, QString *text, QString *error)
{
    QFile file;
    bool opened = false;
    if (path == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        // Pipes and devices (/dev/stdin, <(command)) are read like files.
        if (QFileInfo(path).isDir()) {
            *error = QStringLiteral("The file %1 could not be opened: it is a folder").arg(path);
            return false;
        }
        file.setFileName(path);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        *error = QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString());
        return false;
    }
    // What is not text would be converted as one garbage glyph per byte.
    QString decoded;
    if (!decodeImportedText(bytes, &decoded)) {
        *error = QStringLiteral("The file %1 could not be imported: %2").arg(path, notTextReason());
        return false;
    }
    *text = decoded;
    return true;
}

} // namespace qm
