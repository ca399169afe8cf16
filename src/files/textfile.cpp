#include "files/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <algorithm>
#include <vector>

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

// How much a decoding looks like text, judged on its first characters.
struct Plausibility {
    int total = 0;
    int odd = 0;        // control, private-use, unassigned and non-characters, U+FFFD
    int common = 0;     // in the blocks text is written in (Latin, CJK, their punctuation)
    int familiar = 0;   // one of the characters of GB 2312 (ASCII, the common hanzi)
    int cjk = 0;        // hanzi, CJK and full-width punctuation, quotation marks

    // Clean, and nearly all of it in the common blocks.
    bool plausible() const { return odd == 0 && common * 10 >= total * 9; }
    // UTF-16 without a zero byte holds no ASCII: nearly all of it must be what Chinese
    // text is made of, most of it common hanzi. A few units say too little (Latin
    // letters in pairs are hanzi too: "ca" is U+6361).
    bool plausibleUtf16() const
    {
        return total >= 4 && odd == 0 && cjk * 10 >= total * 9 && familiar * 2 >= total;
    }
    double familiarShare() const { return total > 0 ? double(familiar) / total : 0; }
};

bool isOdd(uint c)
{
    if (c < 0x20)
        return c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r';
    if ((c >= 0x7F && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000
        || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE || c == 0xFFFD
        || (c >= 0xD800 && c <= 0xDFFF))
        return true;
    return QChar::category(c) == QChar::Other_NotAssigned;
}

bool isCommon(uint c)
{
    static const struct { uint first, last; } blocks[] = {
        {0x09, 0x0D},     {0x20, 0x7E},     {0xA0, 0x24F},    {0x370, 0x4FF},
        {0x2000, 0x206F}, {0x20A0, 0x20CF}, {0x2100, 0x27BF}, {0x2E80, 0x2FDF},
        {0x3000, 0x312F}, {0x3200, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F}, {0xFF00, 0xFFEF},
    };
    for (const auto &block : blocks) {
        if (c >= block.first && c <= block.last)
            return true;
    }
    return false;
}

bool isCjk(uint c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF)
        || (c >= 0x2010 && c <= 0x2027);
}

Plausibility judge(const QString &text)
{
    // The start tells as well as the whole, at a fraction of the time.
    const QString sample = text.left(1 << 16);
    Plausibility p;
    for (const uint c : sample.toUcs4()) {
        ++p.total;
        p.odd += isOdd(c);
        p.common += isCommon(c);
        p.cjk += isCjk(c);
    }
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("GB2312")->fromUnicode(sample.constData(), sample.size(), &state);
    p.familiar = qMax(0, p.total - state.invalidChars);
    return p;
}

struct Reading {
    const char *name;   // as the message names it
    QString text;
    Plausibility p;
};

// Decides between readings that all look like text; false (with *why naming them)
// when none is clearly the more likely.
bool pickReading(std::vector<Reading> readings, QString *text, QString *why)
{
    std::stable_sort(readings.begin(), readings.end(), [](const Reading &a, const Reading &b) {
        return a.p.familiarShare() > b.p.familiarShare();
    });
    if (readings.size() == 1 || readings[0].text == readings[1].text
        || readings[0].p.familiarShare() - readings[1].p.familiarShare() >= 0.25) {
        *text = readings[0].text;
        return true;
    }
    QStringList names;
    for (const Reading &r : readings)
        names << QLatin1String(r.name);
    *why = QStringLiteral("it reads as %1 alike, and nothing tells which it is (save it as UTF-8, or "
                          "with a byte-order mark)").arg(names.join(QStringLiteral(" and as ")));
    return false;
}

bool decodeBytes(const QByteArray &bytes, QString *text, QString *why)
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
    QString utf8;
    const bool validUtf8 = decodeWith("UTF-8", bytes, &utf8);
    if (validUtf8 && judge(utf8).odd == 0) {
        *text = utf8;
        return true;
    }
    // Qt's GB 18030 decoder reports nothing: it puts U+FFFD for a bad sequence and
    // drops a lead byte at the end. Every valid sequence encodes back as it was.
    QTextCodec *gb = QTextCodec::codecForName("GB18030");
    QString eightBit = utf8;
    bool validEightBit = validUtf8;
    if (!validUtf8) {
        eightBit = gb->toUnicode(bytes);
        validEightBit = gb->fromUnicode(eightBit) == bytes;
    }

    // UTF-16 of CJK alone has no zero byte to tell it by, and nearly any bytes are
    // GB 18030: the reading that looks like text decides.
    std::vector<Reading> plausible;
    for (const char *codec : {"UTF-16LE", "UTF-16BE"}) {
        Reading r{codec[6] == 'L' ? "UTF-16 LE" : "UTF-16 BE", QString(), Plausibility()};
        if (bytes.size() % 2 == 0 && decodeWith(codec, bytes, &r.text)) {
            r.p = judge(r.text);
            if (r.p.plausibleUtf16())
                plausible.push_back(r);
        }
    }
    if (!plausible.empty()) {
        if (validEightBit) {
            Reading r{validUtf8 ? "UTF-8" : "GB 18030", eightBit, judge(eightBit)};
            if (r.p.plausible())
                plausible.push_back(r);
        }
        return pickReading(plausible, text, why);
    }
    *text = eightBit;
    return validEightBit;
}

} // namespace

bool decodeImportedText(const QByteArray &bytes, QString *text, QString *why)
{
    QString decoded, reason;
    if (!decodeBytes(bytes, &decoded, &reason)) {
        if (why)
            *why = reason.isEmpty() ? notTextReason() : reason;
        return false;
    }
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
    // /dev/zero, or a file of gigabytes, would take all memory; no character set needs
    // a fraction of this.
    QByteArray bytes;
    char block[1 << 16];
    for (;;) {
        const qint64 n = file.read(block, sizeof block);
        if (n < 0 || file.error() != QFileDevice::NoError) {
            *error = QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString());
            return false;
        }
        if (n == 0)
            break;
        if (bytes.size() + n > kMaxTextFileSize) {
            *error = QStringLiteral("The file %1 could not be imported: it is larger than %2 MiB, more "
                                    "text than any character set needs").arg(path).arg(kMaxTextFileSize >> 20);
            return false;
        }
        bytes.append(block, int(n));
    }
    // What is not text would be converted as one garbage glyph per byte.
    QString decoded, why;
    if (!decodeImportedText(bytes, &decoded, &why)) {
        *error = QStringLiteral("The file %1 could not be imported: %2").arg(path, why);
        return false;
    }
    *text = decoded;
    return true;
}

} // namespace qm
