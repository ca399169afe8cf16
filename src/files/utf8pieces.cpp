#include "files/utf8pieces.h"

#include <cstring>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qm {

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
#ifdef __SSE2__
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 8));
            const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(short(0xFF80)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(a, b));
#else
            ushort any = 0;
            for (int i = 0; i < 16; ++i)
                any |= src[i];
            if (any >= 0x80)
                break;
            for (int i = 0; i < 16; ++i)
                out[i] = char(src[i]);
#endif
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

// Encodes `text` piece by piece and hands each piece to `sink`: a large font's text
// would otherwise be held a second time, as one UTF-8 copy, just to be written out.
bool forEachUtf8Piece(const QString &text, const Utf8Sink &sink)
{
    const int chunk = 1 << 18;
    // Left uninitialised: a small text touches only the start of it.
    const std::unique_ptr<char[]> buffer(new char[size_t(3 * (chunk + 1))]);
    for (int at = 0; at < text.size();) {
        int length = qMin(chunk, text.size() - at);
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate()
            && text.at(at + length).isLowSurrogate())
            ++length;   // keep a surrogate pair in one piece
        const char *end = encodeUtf8(text.constData() + at, length, buffer.get());
        if (!sink(buffer.get(), qint64(end - buffer.get())))
            return false;
        at += length;
    }
    return true;
}

} // namespace qm
