#pragma once

#include <QChar>
#include <QString>

#include <functional>

namespace qm {

// Writes UTF-8 for `length` code units at `text` to `out`, which has room for three
// bytes per unit, and returns the end. A surrogate pair becomes four bytes; a lone
// surrogate is written as Qt writes it.
char *encodeUtf8(const QChar *text, int length, char *out);

// Receives one piece of UTF-8; returns false to stop.
using Utf8Sink = std::function<bool(const char *data, qint64 size)>;
// Encodes `text` piece by piece (a surrogate pair never split) and hands each piece to
// `sink`; false as soon as the sink refuses one.
bool forEachUtf8Piece(const QString &text, const Utf8Sink &sink);

} // namespace qm
