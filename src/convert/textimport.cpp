#include "textimport.h"

#include <QFile>
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

QString decodeWith(const char *codecName, const QByteArray &bytes)
{
    QTextCodec *codec = QTextCodec::codecForName(codecName);
    if (!codec)
        return QString::fromLocal8Bit(bytes);
    // The mark has been cut off already; a second one would be text.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    return codec->toUnicode(bytes.constData(), bytes.size(), &state);
}

bool isValidUtf8(const QByteArray &bytes)
{
    QTextCodec *codec = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    codec->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

QString decodeBytes(const QByteArray &bytes)
{
    for (const ByteOrderMark &mark : kMarks) {
        if (!bytes.startsWith(QByteArray::fromRawData(mark.bytes, mark.size)))
            continue;
        // FF FE 00 00 is also a UTF-16 LE mark before a U+0000; only a body of
        // whole 32-bit units is taken for UTF-32.
        if (mark.size == 4 && bytes.size() % 4 != 0)
            continue;
        return decodeWith(mark.codec, bytes.mid(mark.size));
    }
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return decodeWith("GB18030", bytes);
}

} // namespace

QString decodeImportedText(const QByteArray &bytes)
{
    QString text = decodeBytes(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

bool readImportedTextFile(const QString &path, QString *text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("The file %1 could not be opened: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (text)
        *text = decodeImportedText(bytes);
    return true;
}

} // namespace qm
