#pragma once

#include <QByteArray>
#include <QString>

namespace qm {

// Decodes the bytes of an imported text file. A byte-order mark decides when there
// is one (UTF-8, UTF-16 LE/BE, UTF-32 LE/BE); UTF-16 without a mark is recognised by
// its zero bytes, nearly all on the even or on the odd places (Latin text, line breaks);
// otherwise bytes that are valid UTF-8 are read as UTF-8 and anything else as GB 18030,
// the encoding Chinese Windows editors save in. Windows line ends become single line
// breaks. Returns false, leaving *text alone, for bytes that are not text: zero bytes
// (outside UTF-16 and UTF-32) or bytes that are neither UTF-8 nor GB 18030; converting
// them would give one glyph per garbage character. UTF-16 of CJK alone has no zero
// bytes: when its reading is clean CJK and the 8-bit one is not, it is taken; when two
// readings look like text alike (and are not the same text), the bytes are refused,
// and *why names the encodings.
bool decodeImportedText(const QByteArray &bytes, QString *text, QString *why = nullptr);

// The most a text file may hold: far more than any character set needs.
constexpr int kMaxTextFileSize = 16 << 20;

// Why decodeImportedText() refused most files; it holds no ": ".
QString notTextReason();

// Reads and decodes a whole file ("-": standard input; pipes and devices are read
// like files), for the window's import and the command line alike. On failure returns
// false and says "The file <path> could not be opened: <reason>" (a folder, a missing
// file), "... could not be read: <reason>" or "... could not be imported: <why>"
// (not text, or larger than kMaxTextFileSize); the reason is what follows the last ": ".
bool readTextFile(const QString &path, QString *text, QString *error);

} // namespace qm
