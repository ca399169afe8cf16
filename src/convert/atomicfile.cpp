#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

// Small writes (a glyph record at a time) are gathered into blocks of this size.
const int kBufferSize = 1 << 16;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

// A name beside `path` that no other file has; the descriptor of the new file is
// returned in *fd, or -1 with errno set.
QString createBeside(const QString &path, const char *suffix, int *fd)
{
    const QFileInfo info(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = info.absolutePath() + QStringLiteral("/.") + info.fileName()
            + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate(), 36)
            + QLatin1String(suffix);
        *fd = ::open(nativePath(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (*fd >= 0)
            return candidate;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

bool writeFully(int fd, const char *data, qint64 size, int *errorNumber)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *errorNumber = errno;
            return false;
        }
        if (n == 0) {
            *errorNumber = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

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
template <typename Sink>
bool forEachUtf8Piece(const QString &text, Sink sink)
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

} // namespace

AtomicFile::AtomicFile(const QString &target) : m_target(target)
{
}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_tempPath.isEmpty())
        ::unlink(nativePath(m_tempPath).constData());
}

bool AtomicFile::fail(int errorNumber, bool opening)
{
    if (m_errno == 0) {
        m_errno = errorNumber != 0 ? errorNumber : EIO;
        m_openFailed = opening;
    }
    return false;
}

bool AtomicFile::open()
{
    // Through a symbolic link the file it names is replaced, not the link.
    QString path = m_target;
    const QFileInfo info(m_target);
    if (info.isSymLink() && !info.symLinkTarget().isEmpty())
        path = info.symLinkTarget();
    if (QFileInfo(path).isDir())
        return fail(EISDIR, true);
    m_tempPath = createBeside(path, ".tmp", &m_fd);
    if (m_fd < 0)
        return fail(errno, true);
    m_renameTo = path;
    // A replaced file keeps its permissions; a new one gets the usual ones (umask).
    struct stat existing;
    if (::stat(nativePath(path).constData(), &existing) == 0)
        ::fchmod(m_fd, existing.st_mode & 07777);
    m_buffer.reserve(kBufferSize);
    return true;
}

bool AtomicFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    int error = 0;
    const bool ok = writeFully(m_fd, m_buffer.constData(), m_buffer.size(), &error);
    m_buffer.resize(0);
    return ok || fail(error);
}

bool AtomicFile::write(const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return fail(EBADF);
    if (m_buffer.size() + size <= kBufferSize) {
        m_buffer.append(data, int(size));
        return true;
    }
    if (!flushBuffer())
        return false;
    if (size < kBufferSize) {
        m_buffer.append(data, int(size));
        return true;
    }
    int error = 0;
    return writeFully(m_fd, data, size, &error) || fail(error);
}

bool AtomicFile::writeUtf8(const QString &text)
{
    return forEachUtf8Piece(text, [this](const char *data, qint64 size) { return write(data, size); });
}

bool AtomicFile::writeAt(qint64 offset, const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return fail(EBADF);
    if (!flushBuffer())
        return false;
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool AtomicFile::finish()
{
    if (failed())
        return false;
    if (m_fd < 0)
        return !m_tempPath.isEmpty() || fail(EBADF);
    if (!flushBuffer())
        return false;
    // Some file systems only report a full disk when the data reach it; and without
    // the sync a crash right after the rename could leave an empty file in its place.
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        return fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        return fail(errno);
    return true;
}

bool AtomicFile::renameOntoTarget()
{
    if (::rename(nativePath(m_tempPath).constData(), nativePath(m_renameTo).constData()) != 0)
        return fail(errno);
    m_committed = true;
    return true;
}

bool AtomicFile::commit()
{
    return finish() && renameOntoTarget();
}

QString AtomicFile::reason() const
{
    return qt_error_string(m_errno);
}

QString AtomicFile::errorString() const
{
    return (m_openFailed ? QStringLiteral("The file %1 could not be opened: %2")
                         : QStringLiteral("The file %1 could not be written: %2"))
        .arg(m_target, reason());
}

AtomicFile *AtomicFile::commitAll(std::initializer_list<AtomicFile *> files)
{
    for (AtomicFile *file : files) {
        if (!file->finish())
            return file;
    }
    // The previous content of each replaced target, kept until all are in place: a
    // second name for it where the file system allows, else the file moved aside.
    struct Previous {
        QByteArray target;
        QByteArray kept;   // empty: there was no file
    };
    std::vector<Previous> previous;
    auto restore = [&previous] {
        for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
            if (it->kept.isEmpty())
                ::unlink(it->target.constData());
            else
                ::rename(it->kept.constData(), it->target.constData());
        }
    };
    for (AtomicFile *file : files) {
        Previous p{nativePath(file->m_renameTo), QByteArray()};
        struct stat existing;
        // A folder in the target's place makes the rename fail; it is no file to keep.
        if (::stat(p.target.constData(), &existing) == 0 && !S_ISDIR(existing.st_mode)) {
            int fd = -1;
            const QString aside = createBeside(file->m_renameTo, ".old", &fd);
            if (fd >= 0) {
                ::close(fd);
                p.kept = nativePath(aside);
                ::unlink(p.kept.constData());
                if (::link(p.target.constData(), p.kept.constData()) != 0
                    && ::rename(p.target.constData(), p.kept.constData()) != 0)
                    p.kept.clear();
            }
        }
        const bool renamed = file->renameOntoTarget();
        if (!renamed) {
            // The file moved aside goes back before the earlier ones are undone.
            if (!p.kept.isEmpty() && ::access(p.target.constData(), F_OK) != 0)
                ::rename(p.kept.constData(), p.target.constData());
            else if (!p.kept.isEmpty())
                ::unlink(p.kept.constData());
            restore();
            return file;
        }
        previous.push_back(p);
    }
    for (const Previous &p : previous) {
        if (!p.kept.isEmpty())
            ::unlink(p.kept.constData());
    }
    return nullptr;
}

namespace {

template <typename Write>
bool replaceFile(const QString &path, QString *error, Write write)
{
    AtomicFile file(path);
    if (file.open() && write(file) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return replaceFile(path, error, [&bytes](AtomicFile &file) { return file.write(bytes); });
}

bool writeUtf8File(const QString &path, const QString &text, QString *error)
{
    return replaceFile(path, error, [&text](AtomicFile &file) { return file.writeUtf8(text); });
}

bool writeUtf8To(int fd, const QString &text, QString *reason)
{
    int error = 0;
    const bool ok = forEachUtf8Piece(text, [fd, &error](const char *data, qint64 size) {
        return writeFully(fd, data, size, &error);
    });
    if (!ok && reason)
        *reason = qt_error_string(error);
    return ok;
}

} // namespace qm
