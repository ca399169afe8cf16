#pragma once

#include <QByteArray>
#include <QString>

namespace qm {

// Decodes the bytes of an imported text file. A byte-order mark decides when there
// is one (UTF-8, UTF-16 LE/BE, UTF-32 LE/BE); otherwise bytes that are valid UTF-8
// are read as UTF-8 and anything else as GB 18030, the encoding Chinese Windows
// editors save in. Windows line ends become single line breaks.
QString decodeImportedText(const QByteArray &bytes);

// Reads and decodes a whole file. On failure returns false and, when `error` is
// given, describes it as "The file <path> could not be opened: <reason>".
bool readImportedTextFile(const QString &path, QString *text, QString *error);

} // namespace qm
